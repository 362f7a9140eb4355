#include <TranslationUtils.h>

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include <Bitmap.h>

#include <SDL.h>
#include <SDL_image.h>
#include <gtest/gtest.h>

#include "support/ImageFiles.h"
#include "support/TempDirectory.h"

namespace {

// Every test gets a platform root of its own, so BeOS paths land in its scratch directory.
class GetBitmapFile : public testing::Test
{
protected:
	void SetUp() override
	{
		const char* previous = getenv("BEOS_ROOT");
		fHadRoot = previous != nullptr;
		if (fHadRoot)
			fPreviousRoot = previous;
		setenv("BEOS_ROOT", fDirectory.Path().c_str(), 1);
	}

	void TearDown() override
	{
		if (fHadRoot)
			setenv("BEOS_ROOT", fPreviousRoot.c_str(), 1);
		else
			unsetenv("BEOS_ROOT");
	}

	// The host path of the BeOS path "/<name>".
	std::string Host(const std::string& name) const { return fDirectory.Join(name); }

	std::unique_ptr<BBitmap> Read(const std::string& name) const
	{
		return std::unique_ptr<BBitmap>(BTranslationUtils::GetBitmapFile(("/" + name).c_str()));
	}

	void ExpectRefused(const std::string& name, const std::vector<uint8>& bytes)
	{
		ASSERT_TRUE(ImageFiles::WriteBytes(Host(name), bytes));
		EXPECT_EQ(Read(name), nullptr) << name;
	}

	VelmoTest::TempDirectory fDirectory;
	bool fHadRoot = false;
	std::string fPreviousRoot;
};

void ExpectPixels(const BBitmap& bitmap, const ImageFiles::Image& image)
{
	ASSERT_EQ(bitmap.InitCheck(), B_OK);
	EXPECT_EQ(bitmap.ColorSpace(), B_RGBA32);
	ASSERT_EQ(bitmap.Bounds(), BRect(0, 0, image.width - 1, image.height - 1));
	const uint8* bits = static_cast<const uint8*>(bitmap.Bits());
	for (int32 y = 0; y < image.height; y++) {
		const uint32* row =
		    reinterpret_cast<const uint32*>(bits + size_t(y) * bitmap.BytesPerRow());
		for (int32 x = 0; x < image.width; x++)
			ASSERT_EQ(row[x], image.At(x, y)) << x << ", " << y;
	}
}

std::vector<uint8> LittleHeader(std::vector<uint8> bytes, size_t offset, uint32 value, int size)
{
	for (int i = 0; i < size; i++)
		bytes[offset + i] = uint8(value >> (8 * i));
	return bytes;
}

} // namespace

TEST_F(GetBitmapFile, Reads24BitBmpExactlyFromItsBeosPath)
{
	// 37 pixels a row: each row is padded to a multiple of 4 bytes.
	ImageFiles::Image image = ImageFiles::Pattern(37, 23);
	ASSERT_EQ(mkdir(Host("textures").c_str(), 0755), 0);
	ASSERT_TRUE(ImageFiles::WriteBmp(Host("textures/KALOGO.BMP"), image, 24));
	auto bitmap = Read("textures/KALOGO.BMP");
	ASSERT_NE(bitmap, nullptr);
	ExpectPixels(*bitmap, image);
}

TEST_F(GetBitmapFile, Reads32BitBmpWithItsAlpha)
{
	ImageFiles::Image image = ImageFiles::Pattern(16, 9);
	for (size_t i = 0; i < image.pixels.size(); i++)
		image.pixels[i] = (image.pixels[i] & 0x00ffffff) | (uint32(i * 5 % 256) << 24);
	ASSERT_TRUE(ImageFiles::WriteBmp(Host("alpha.bmp"), image, 32));
	auto bitmap = Read("alpha.bmp");
	ASSERT_NE(bitmap, nullptr);
	ExpectPixels(*bitmap, image);
}

TEST_F(GetBitmapFile, ReadsTopDownBmp)
{
	ImageFiles::Image image = ImageFiles::Pattern(8, 5);
	ASSERT_TRUE(ImageFiles::WriteBmp(Host("up.bmp"), image, 24));
	// The same pixels stored top-down: a negative height and the rows reversed.
	std::vector<uint8> bytes = ImageFiles::ReadBytes(Host("up.bmp"));
	std::vector<uint8> flipped = LittleHeader(bytes, 22, uint32(-5), 4);
	size_t rowBytes = 8 * 3;
	for (int32 y = 0; y < 5; y++)
		memcpy(&flipped[54 + y * rowBytes], &bytes[54 + (4 - y) * rowBytes], rowBytes);
	ASSERT_TRUE(ImageFiles::WriteBytes(Host("down.bmp"), flipped));
	auto bitmap = Read("down.bmp");
	ASSERT_NE(bitmap, nullptr);
	ExpectPixels(*bitmap, image);
}

TEST_F(GetBitmapFile, ReadsPngExactly)
{
	ImageFiles::Image image = ImageFiles::Pattern(64, 40);
	image.pixels[5] = 0x40123456; // some alpha survives too
	ASSERT_TRUE(ImageFiles::WritePng(Host("logo.png"), image));
	auto bitmap = Read("logo.png");
	ASSERT_NE(bitmap, nullptr);
	ExpectPixels(*bitmap, image);
}

TEST_F(GetBitmapFile, ReadsJpegAtItsSize)
{
	ImageFiles::Image image = ImageFiles::Pattern(48, 32);
	for (uint32& pixel : image.pixels)
		pixel = 0xff8040c0;
	std::vector<uint32> pixels = image.pixels;
	std::unique_ptr<SDL_Surface, decltype(&SDL_FreeSurface)> surface(
	    SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), 48, 32, 32, 48 * 4,
	                                       SDL_PIXELFORMAT_ARGB8888),
	    &SDL_FreeSurface);
	ASSERT_NE(surface, nullptr);
	ASSERT_EQ(IMG_SaveJPG(surface.get(), Host("logo.jpg").c_str(), 95), 0);
	auto bitmap = Read("logo.jpg");
	ASSERT_NE(bitmap, nullptr);
	EXPECT_EQ(bitmap->Bounds(), BRect(0, 0, 47, 31));
	// Lossy, but a flat colour comes back close.
	uint32 pixel = static_cast<const uint32*>(bitmap->Bits())[48 * 16 + 24];
	EXPECT_NEAR(int((pixel >> 16) & 0xff), 0x80, 4);
	EXPECT_NEAR(int((pixel >> 8) & 0xff), 0x40, 4);
	EXPECT_NEAR(int(pixel & 0xff), 0xc0, 4);
	EXPECT_EQ(pixel >> 24, 0xffu);
}

TEST_F(GetBitmapFile, MissingEmptyOrDirectoryGivesNull)
{
	EXPECT_EQ(Read("missing.bmp"), nullptr);
	EXPECT_EQ(BTranslationUtils::GetBitmapFile(nullptr), nullptr);
	EXPECT_EQ(BTranslationUtils::GetBitmapFile(""), nullptr);
	ExpectRefused("empty.bmp", {});
	ASSERT_EQ(mkdir(Host("folder.bmp").c_str(), 0755), 0);
	EXPECT_EQ(Read("folder.bmp"), nullptr);
}

TEST_F(GetBitmapFile, FifoGivesNullWithoutWaitingForAWriter)
{
	ASSERT_EQ(mkfifo(Host("pipe.bmp").c_str(), 0644), 0);
	EXPECT_EQ(Read("pipe.bmp"), nullptr);
}

TEST_F(GetBitmapFile, GarbageAndUnknownFormatsGiveNull)
{
	std::vector<uint8> garbage(4096);
	std::mt19937 random(7);
	for (uint8& byte : garbage)
		byte = uint8(random());
	ExpectRefused("garbage.bmp", garbage);
	std::string text = "/* XPM */ static char* logo[] = {\"1 1 1 1\", \"a c #ffffff\", \"a\"};";
	ExpectRefused("logo.xpm", std::vector<uint8>(text.begin(), text.end()));
}

TEST_F(GetBitmapFile, TruncatedFilesGiveNull)
{
	ImageFiles::Image image = ImageFiles::Pattern(40, 30);
	ASSERT_TRUE(ImageFiles::WriteBmp(Host("whole.bmp"), image, 24));
	ASSERT_TRUE(ImageFiles::WritePng(Host("whole.png"), image));
	std::vector<uint8> bmp = ImageFiles::ReadBytes(Host("whole.bmp"));
	std::vector<uint8> png = ImageFiles::ReadBytes(Host("whole.png"));
	for (size_t size : {size_t(2), size_t(20), size_t(54), bmp.size() / 2, bmp.size() - 1}) {
		ExpectRefused("cut.bmp", std::vector<uint8>(bmp.begin(), bmp.begin() + size));
	}
	for (size_t size : {size_t(8), size_t(30), png.size() / 2, png.size() - 13}) {
		ExpectRefused("cut.png", std::vector<uint8>(png.begin(), png.begin() + size));
	}
}

// A header may claim any size; the file must be refused before a decoder allocates it (under
// AddressSanitizer such an allocation would abort the whole process).
TEST_F(GetBitmapFile, HeadersClaimingHugeImagesGiveNull)
{
	ImageFiles::Image image = ImageFiles::Pattern(4, 4);
	ASSERT_TRUE(ImageFiles::WriteBmp(Host("small.bmp"), image, 24));
	std::vector<uint8> bmp = ImageFiles::ReadBytes(Host("small.bmp"));
	std::vector<uint8> huge = LittleHeader(LittleHeader(bmp, 18, 60000, 4), 22, 60000, 4);
	ExpectRefused("huge.bmp", huge);
	ExpectRefused("wide.bmp", LittleHeader(bmp, 18, 16385, 4));
	ExpectRefused("negative.bmp", LittleHeader(bmp, 18, uint32(-4), 4));
	ExpectRefused("lowest.bmp", LittleHeader(bmp, 22, 0x80000000u, 4));

	ASSERT_TRUE(ImageFiles::WritePng(Host("small.png"), image));
	std::vector<uint8> png = ImageFiles::ReadBytes(Host("small.png"));
	for (size_t offset : {size_t(16), size_t(20)}) {
		png[offset] = 0;
		png[offset + 1] = 0x01;
		png[offset + 2] = 0x86;
		png[offset + 3] = 0xa0; // 100000
	}
	ExpectRefused("huge.png", png);

	std::vector<uint8> tga(18 + 16, 0);
	tga[2] = 2;
	tga[16] = 32;
	ExpectRefused("huge.tga", LittleHeader(LittleHeader(tga, 12, 65535, 2), 14, 65535, 2));

	std::string pnm = "P6\n100000 100000\n255\n";
	ExpectRefused("huge.ppm", std::vector<uint8>(pnm.begin(), pnm.end()));
	std::vector<uint8> gif = {'G',  'I',  'F', '8',  '9', 'a',  1,    0, 1,    0,
	                          0,    0,    0,   0x2c, 0,   0,    0,    0, 0xff, 0xff,
	                          0xff, 0xff, 0,   2,    2,   0x4c, 0x01, 0, 0x3b};
	ExpectRefused("huge.gif", gif);
	std::vector<uint8> jpeg = {0xff, 0xd8, 0xff, 0xc0, 0,    11, 8,    0xfd, 0xe8,
	                           0xfd, 0xe8, 1,    1,    0x11, 0,  0xff, 0xd9};
	ExpectRefused("huge.jpg", jpeg);
}

TEST_F(GetBitmapFile, FilesPastTheSizeLimitAreNotRead)
{
	ImageFiles::Image image = ImageFiles::Pattern(4, 4);
	ASSERT_TRUE(ImageFiles::WriteBmp(Host("big.bmp"), image, 24));
	// A valid image followed by a sparse tail: larger than any logo has reason to be.
	ASSERT_EQ(truncate(Host("big.bmp").c_str(), off_t(65) * 1024 * 1024), 0);
	EXPECT_EQ(Read("big.bmp"), nullptr);
}

// Random damage to valid files of every format: whatever the decoders make of it, a bitmap or
// NULL, never a crash.
TEST_F(GetBitmapFile, DamagedFilesNeverCrash)
{
	ImageFiles::Image image = ImageFiles::Pattern(24, 16);
	ASSERT_TRUE(ImageFiles::WriteBmp(Host("valid.bmp"), image, 24));
	ASSERT_TRUE(ImageFiles::WriteBmp(Host("valid32.bmp"), image, 32));
	ASSERT_TRUE(ImageFiles::WritePng(Host("valid.png"), image));
	std::vector<std::vector<uint8>> originals = {ImageFiles::ReadBytes(Host("valid.bmp")),
	                                             ImageFiles::ReadBytes(Host("valid32.bmp")),
	                                             ImageFiles::ReadBytes(Host("valid.png"))};
	std::mt19937 random(12345);
	for (int32 round = 0; round < 300; round++) {
		std::vector<uint8> bytes = originals[round % originals.size()];
		int32 changes = 1 + random() % 8;
		for (int32 i = 0; i < changes; i++)
			bytes[random() % bytes.size()] = uint8(random());
		if (round % 5 == 0)
			bytes.resize(random() % bytes.size() + 1);
		ASSERT_TRUE(ImageFiles::WriteBytes(Host("damaged.img"), bytes));
		std::unique_ptr<BBitmap> bitmap = Read("damaged.img");
		if (bitmap != nullptr) {
			EXPECT_EQ(bitmap->InitCheck(), B_OK);
		}
	}
}
