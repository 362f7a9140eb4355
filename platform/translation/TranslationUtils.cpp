#include <TranslationUtils.h>

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include <Bitmap.h>

#include <SDL.h>
#include <SDL_image.h>

#include "storage/PlatformRoot.h"
#include "support/FileDescriptor.h"
#include "translation/ImageCodecLock.h"
#include "translation/ImageHeader.h"

namespace {

// A logo, an icon or a texture is far smaller; a larger file is not read at all.
const off_t kMaxFileSize = off_t(64) * 1024 * 1024;
// The same limits as BBitmap's, checked on what the file claims before a decoder allocates it.
const int64 kMaxSide = 16384;
const int64 kMaxPixels = int64(64) * 1024 * 1024;

struct SurfaceDeleter
{
	void operator()(SDL_Surface* surface) const { SDL_FreeSurface(surface); }
};
using SurfacePointer = std::unique_ptr<SDL_Surface, SurfaceDeleter>;

struct StreamDeleter
{
	void operator()(SDL_RWops* stream) const { SDL_RWclose(stream); }
};
using StreamPointer = std::unique_ptr<SDL_RWops, StreamDeleter>;

// The whole of a regular file of sensible size; false otherwise. Opened without blocking, so a
// FIFO or a device at the path cannot hang the caller.
bool ReadWholeFile(const std::string& path, std::vector<uint8>* contents)
{
	int fd;
	do
		fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
	while (fd < 0 && errno == EINTR);
	BPrivate::FileDescriptor file(fd);
	if (fd < 0)
		return false;

	struct stat info;
	if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0 ||
	    info.st_size > kMaxFileSize)
		return false;

	contents->resize(size_t(info.st_size));
	size_t done = 0;
	while (done < contents->size()) {
		ssize_t got = read(fd, contents->data() + done, contents->size() - done);
		if (got < 0 && errno == EINTR)
			continue;
		if (got < 0)
			return false;
		if (got == 0)
			break; // the file shrank under us: decode what there is
		done += size_t(got);
	}
	contents->resize(done);
	return done > 0;
}

SDL_Surface* Decode(BPrivate::ImageFormat format, SDL_RWops* stream)
{
	switch (format) {
	case BPrivate::ImageFormat::kBmp:
		return IMG_LoadBMP_RW(stream);
	case BPrivate::ImageFormat::kPng:
		return IMG_LoadPNG_RW(stream);
	case BPrivate::ImageFormat::kGif:
		return IMG_LoadGIF_RW(stream);
	case BPrivate::ImageFormat::kJpeg:
		return IMG_LoadJPG_RW(stream);
	case BPrivate::ImageFormat::kTga:
		return IMG_LoadTGA_RW(stream);
	case BPrivate::ImageFormat::kPnm:
		return IMG_LoadPNM_RW(stream);
	case BPrivate::ImageFormat::kUnknown:
		break;
	}
	return nullptr;
}

bool IsSensible(int64 width, int64 height)
{
	return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide &&
	       width * height <= kMaxPixels;
}

} // namespace

BBitmap* BTranslationUtils::GetBitmapFile(const char* name, BTranslatorRoster* /*roster*/)
{
	if (name == nullptr || name[0] == '\0')
		return nullptr;
	std::string path = BPrivate::HostPath(name);
	std::vector<uint8> contents;
	if (!ReadWholeFile(path, &contents))
		return nullptr;

	BPrivate::ImageHeader header;
	if (!BPrivate::ReadImageHeader(contents.data(), contents.size(), path.c_str(), &header) ||
	    !IsSensible(header.width, header.height))
		return nullptr;

	SurfacePointer converted;
	{
		std::lock_guard<std::mutex> guard(BPrivate::ImageCodecLock());
		StreamPointer stream(SDL_RWFromConstMem(contents.data(), int(contents.size())));
		if (stream == nullptr)
			return nullptr;
		SurfacePointer decoded(Decode(header.format, stream.get()));
		if (decoded == nullptr || !IsSensible(decoded->w, decoded->h))
			return nullptr;
		converted.reset(SDL_ConvertSurfaceFormat(decoded.get(), SDL_PIXELFORMAT_ARGB8888, 0));
	}
	if (converted == nullptr)
		return nullptr;

	auto bitmap =
	    std::make_unique<BBitmap>(BRect(0, 0, converted->w - 1, converted->h - 1), B_RGBA32);
	if (bitmap->InitCheck() != B_OK)
		return nullptr;
	if (SDL_MUSTLOCK(converted.get()) && SDL_LockSurface(converted.get()) != 0)
		return nullptr;
	uint8* to = static_cast<uint8*>(bitmap->Bits());
	const uint8* from = static_cast<const uint8*>(converted->pixels);
	size_t rowBytes = size_t(converted->w) * 4;
	for (int32 y = 0; y < converted->h; y++) {
		memcpy(to + size_t(y) * bitmap->BytesPerRow(), from + size_t(y) * converted->pitch,
		       rowBytes);
	}
	if (SDL_MUSTLOCK(converted.get()))
		SDL_UnlockSurface(converted.get());
	// The caller owns the bitmap, as on BeOS.
	return bitmap.release();
}
