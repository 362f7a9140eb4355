#include "translation/ImageHeader.h"

#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using BPrivate::ImageFormat;
using BPrivate::ImageHeader;
using BPrivate::ReadImageHeader;

namespace {

std::vector<uint8> Bytes(const std::string& text)
{
	return std::vector<uint8>(text.begin(), text.end());
}

void PutLittle16(std::vector<uint8>& bytes, size_t offset, uint32 value)
{
	bytes[offset] = uint8(value);
	bytes[offset + 1] = uint8(value >> 8);
}

std::vector<uint8> BmpHeader(int32 width, int32 height)
{
	std::vector<uint8> bytes(54, 0);
	bytes[0] = 'B';
	bytes[1] = 'M';
	bytes[14] = 40;
	memcpy(&bytes[18], &width, 4);
	memcpy(&bytes[22], &height, 4);
	return bytes;
}

std::vector<uint8> PngHeader(uint32 width, uint32 height)
{
	std::vector<uint8> bytes = Bytes(std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16));
	for (uint32 value : {width, height}) {
		for (int shift = 24; shift >= 0; shift -= 8)
			bytes.push_back(uint8(value >> shift));
	}
	bytes.insert(bytes.end(), {8, 6, 0, 0, 0, 0, 0, 0, 0});
	return bytes;
}

// A GIF with a global colour table, a graphics control extension and one image descriptor.
std::vector<uint8> GifHeader(uint32 screenWidth, uint32 screenHeight, uint32 imageWidth,
                             uint32 imageHeight)
{
	std::vector<uint8> bytes = Bytes("GIF89a");
	bytes.resize(13, 0);
	PutLittle16(bytes, 6, screenWidth);
	PutLittle16(bytes, 8, screenHeight);
	bytes[10] = 0x80; // a global table of 2 colours
	bytes.resize(13 + 6, 0);
	bytes.insert(bytes.end(), {0x21, 0xf9, 4, 0, 0, 0, 0, 0});
	size_t image = bytes.size();
	bytes.resize(image + 10, 0);
	bytes[image] = 0x2c;
	PutLittle16(bytes, image + 5, imageWidth);
	PutLittle16(bytes, image + 7, imageHeight);
	return bytes;
}

std::vector<uint8> JpegHeader(uint32 width, uint32 height)
{
	std::vector<uint8> bytes = {0xff, 0xd8, 0xff, 0xe0, 0, 16};
	bytes.insert(bytes.end(), {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
	bytes.insert(bytes.end(), {0xff, 0xc0, 0, 11, 8, uint8(height >> 8), uint8(height),
	                           uint8(width >> 8), uint8(width), 1, 1, 0x11, 0});
	return bytes;
}

// Reads the header from a heap buffer of exactly `size` bytes, so that AddressSanitizer sees
// any read past the end.
bool ReadExact(const std::vector<uint8>& bytes, size_t size, const char* name, ImageHeader* header)
{
	auto exact = std::make_unique<uint8[]>(size == 0 ? 1 : size);
	if (size > 0)
		memcpy(exact.get(), bytes.data(), size);
	return ReadImageHeader(exact.get(), size, name, header);
}

void ExpectEveryPrefixIsSafe(const std::vector<uint8>& bytes, const char* name)
{
	for (size_t size = 0; size < bytes.size(); size++) {
		ImageHeader header;
		ReadExact(bytes, size, name, &header);
	}
}

} // namespace

TEST(ImageHeader, BmpSidesIncludingATopDownHeight)
{
	ImageHeader header;
	ASSERT_TRUE(ReadExact(BmpHeader(60000, 60000), 54, "a.bmp", &header));
	EXPECT_EQ(header.format, ImageFormat::kBmp);
	EXPECT_EQ(header.width, 60000);
	EXPECT_EQ(header.height, 60000);

	ASSERT_TRUE(ReadExact(BmpHeader(200, -120), 54, "a.bmp", &header));
	EXPECT_EQ(header.height, 120);
	ASSERT_TRUE(ReadExact(BmpHeader(-5, INT32_MIN), 54, "a.bmp", &header));
	EXPECT_EQ(header.width, -5);
	EXPECT_EQ(header.height, int64(1) << 31);
}

TEST(ImageHeader, PngSidesFromIhdr)
{
	ImageHeader header;
	ASSERT_TRUE(ReadExact(PngHeader(100000, 100000), 33, "x", &header));
	EXPECT_EQ(header.format, ImageFormat::kPng);
	EXPECT_EQ(header.width, 100000);
	EXPECT_EQ(header.height, 100000);

	ASSERT_TRUE(ReadExact(PngHeader(0xffffffff, 1), 33, "x", &header));
	EXPECT_EQ(header.width, 0xffffffffLL);
}

TEST(ImageHeader, GifTakesTheLargerOfScreenAndFirstImage)
{
	ImageHeader header;
	std::vector<uint8> gif = GifHeader(10, 10, 65535, 40000);
	ASSERT_TRUE(ReadExact(gif, gif.size(), "x", &header));
	EXPECT_EQ(header.format, ImageFormat::kGif);
	EXPECT_EQ(header.width, 65535);
	EXPECT_EQ(header.height, 40000);

	gif = GifHeader(300, 200, 5, 5);
	ASSERT_TRUE(ReadExact(gif, gif.size(), "x", &header));
	EXPECT_EQ(header.width, 300);
	EXPECT_EQ(header.height, 200);
}

TEST(ImageHeader, JpegSidesFromTheFrameHeaderAfterOtherSegments)
{
	ImageHeader header;
	std::vector<uint8> jpeg = JpegHeader(65000, 300);
	ASSERT_TRUE(ReadExact(jpeg, jpeg.size(), "x", &header));
	EXPECT_EQ(header.format, ImageFormat::kJpeg);
	EXPECT_EQ(header.width, 65000);
	EXPECT_EQ(header.height, 300);
}

TEST(ImageHeader, TgaIsKnownByItsExtensionOnly)
{
	std::vector<uint8> tga(18, 0);
	tga[2] = 2;
	PutLittle16(tga, 12, 65535);
	PutLittle16(tga, 14, 65534);
	ImageHeader header;
	ASSERT_TRUE(ReadExact(tga, tga.size(), "/x/LOGO.TGA", &header));
	EXPECT_EQ(header.format, ImageFormat::kTga);
	EXPECT_EQ(header.width, 65535);
	EXPECT_EQ(header.height, 65534);
	EXPECT_FALSE(ReadExact(tga, tga.size(), "/x/logo.bmp", &header));
	EXPECT_EQ(header.format, ImageFormat::kUnknown);
}

TEST(ImageHeader, PnmSidesSkipCommentsAndHugeNumbersAreRefused)
{
	ImageHeader header;
	std::vector<uint8> pnm = Bytes("P6\n# made by a test\n 640\t480\n255\n");
	ASSERT_TRUE(ReadExact(pnm, pnm.size(), "x", &header));
	EXPECT_EQ(header.format, ImageFormat::kPnm);
	EXPECT_EQ(header.width, 640);
	EXPECT_EQ(header.height, 480);

	pnm = Bytes("P5 99999999999999999999999 2 255\n");
	EXPECT_FALSE(ReadExact(pnm, pnm.size(), "x", &header));
	pnm = Bytes("P5 -3 2 255\n");
	EXPECT_FALSE(ReadExact(pnm, pnm.size(), "x", &header));
}

TEST(ImageHeader, UnknownAndMalformedHeadersAreRefused)
{
	ImageHeader header;
	std::vector<uint8> text = Bytes("just some text, not an image");
	EXPECT_FALSE(ReadExact(text, text.size(), "x.bmp", &header));
	EXPECT_FALSE(ReadExact(text, 0, "x.bmp", &header));
	std::vector<uint8> png = PngHeader(10, 10);
	memcpy(&png[12], "IDAT", 4);
	EXPECT_FALSE(ReadExact(png, png.size(), "x", &header));
	// Scan data before any frame header.
	std::vector<uint8> jpeg = {0xff, 0xd8, 0xff, 0xda, 0, 2, 0, 0};
	EXPECT_FALSE(ReadExact(jpeg, jpeg.size(), "x", &header));
	// An extension that never ends.
	std::vector<uint8> gif = GifHeader(1, 1, 1, 1);
	gif.resize(19 + 3);
	gif.push_back(200);
	EXPECT_FALSE(ReadExact(gif, gif.size(), "x", &header));
}

TEST(ImageHeader, EveryTruncationIsReadSafely)
{
	ExpectEveryPrefixIsSafe(BmpHeader(10, 10), "x");
	ExpectEveryPrefixIsSafe(PngHeader(10, 10), "x");
	ExpectEveryPrefixIsSafe(GifHeader(10, 10, 10, 10), "x");
	ExpectEveryPrefixIsSafe(JpegHeader(10, 10), "x");
	ExpectEveryPrefixIsSafe(Bytes("P6\n# comment\n10 10\n255\n"), "x");
	ExpectEveryPrefixIsSafe(std::vector<uint8>(18, 0), "x.tga");

	ImageHeader header;
	std::vector<uint8> bmp = BmpHeader(10, 10);
	EXPECT_FALSE(ReadExact(bmp, 25, "x", &header));
	std::vector<uint8> png = PngHeader(10, 10);
	EXPECT_FALSE(ReadExact(png, 23, "x", &header));
}
