// Arbitrary bytes as the logo file: BTranslationUtils::GetBitmapFile reads them from a file under
// a temporary platform root, and a bitmap that comes back is drawn into a 1024 x 768 framebuffer
// where the program puts its logo, at (412, 284).

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>

#include <Bitmap.h>
#include <TranslationUtils.h>

#include "interface/Framebuffer.h"

namespace {

const char* const kLogoPath = "/boot/logo.img";

std::string sRoot;
std::string sLogoHostPath;

[[noreturn]] void Fail(const char* what)
{
	fprintf(stderr, "ImageFileFuzzer: %s\n", what);
	abort();
}

// The temporary platform root goes when the fuzzer exits normally; after a crash it stays, with
// the input that crashed as its logo file.
void RemoveRoot()
{
	unlink(sLogoHostPath.c_str());
	rmdir((sRoot + "/boot").c_str());
	rmdir(sRoot.c_str());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
	char rootTemplate[] = "/tmp/velmo-fuzz-image-XXXXXX";
	if (mkdtemp(rootTemplate) == nullptr)
		Fail("mkdtemp failed");
	std::string root = rootTemplate;
	if (mkdir((root + "/boot").c_str(), 0755) != 0)
		Fail("cannot make the platform root");
	setenv("BEOS_ROOT", root.c_str(), 1);
	sRoot = root;
	sLogoHostPath = root + kLogoPath;
	atexit(RemoveRoot);
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	int file = open(sLogoHostPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
	if (file < 0)
		Fail("cannot write the logo file");
	size_t written = 0;
	while (written < size) {
		ssize_t result = write(file, data + written, size - written);
		if (result <= 0)
			Fail("cannot write the logo file");
		written += (size_t)result;
	}
	close(file);

	std::unique_ptr<BBitmap> bitmap(BTranslationUtils::GetBitmapFile(kLogoPath));
	if (bitmap == nullptr)
		return 0;
	if (!bitmap->IsValid() || bitmap->Bits() == nullptr)
		Fail("GetBitmapFile returned a bitmap without pixels");

	BPrivate::Framebuffer framebuffer(1024, 768);
	framebuffer.DrawBitmap(*bitmap, BPoint(412, 284), framebuffer.Bounds());
	return 0;
}
