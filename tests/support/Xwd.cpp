#include "support/Xwd.h"

#include <bit>
#include <cassert>
#include <map>

namespace {

// The header's fields, in file order (X11/XWDFile.h).
enum HeaderField
{
	kHeaderSize,
	kFileVersion,
	kPixmapFormat,
	kPixmapDepth,
	kPixmapWidth,
	kPixmapHeight,
	kXOffset,
	kByteOrder,
	kBitmapUnit,
	kBitmapBitOrder,
	kBitmapPad,
	kBitsPerPixel,
	kBytesPerLine,
	kVisualClass,
	kRedMask,
	kGreenMask,
	kBlueMask,
	kBitsPerRgb,
	kColormapEntries,
	kColorCount,
	kWindowWidth,
	kWindowHeight,
	kWindowX,
	kWindowY,
	kWindowBorderWidth,
	kHeaderFieldCount
};

constexpr uint32_t kVersion = 7;
constexpr uint32_t kZPixmap = 2;
constexpr uint32_t kMsbFirst = 1;
constexpr uint32_t kTrueColor = 4;
constexpr uint32_t kDirectColor = 5;
// A colour-map entry: pixel (32 bits), red, green, blue (16 bits each), flags, padding.
constexpr size_t kColorSize = 12;

uint32_t BigEndian32(const uint8_t* bytes)
{
	return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 |
	       uint32_t(bytes[3]);
}

uint16_t BigEndian16(const uint8_t* bytes)
{
	return uint16_t(bytes[0] << 8 | bytes[1]);
}

// One channel of a true-colour pixel, scaled to 8 bits.
uint8_t Channel(uint32_t pixel, uint32_t mask)
{
	if (mask == 0)
		return 0;
	const uint32_t value = (pixel & mask) >> std::countr_zero(mask);
	const int bits = std::popcount(mask);
	if (bits >= 8)
		return uint8_t(value >> (bits - 8));
	return uint8_t(value * 255 / ((1u << bits) - 1));
}

bool Fail(std::string* error, const std::string& reason)
{
	if (error != nullptr)
		*error = reason;
	return false;
}

} // namespace

namespace VelmoTest {

bool Xwd::Parse(const std::vector<uint8_t>& data, std::string* error)
{
	fWidth = 0;
	fHeight = 0;
	fPixels.clear();

	if (data.size() < kHeaderFieldCount * 4)
		return Fail(error, "shorter than an XWD header");
	uint32_t header[kHeaderFieldCount];
	for (int i = 0; i < kHeaderFieldCount; i++)
		header[i] = BigEndian32(&data[i * 4]);
	if (header[kFileVersion] != kVersion)
		return Fail(error, "XWD version " + std::to_string(header[kFileVersion]) + ", not 7");
	if (header[kPixmapFormat] != kZPixmap)
		return Fail(error, "not a Z-pixmap");
	const uint32_t bitsPerPixel = header[kBitsPerPixel];
	if (bitsPerPixel != 8 && bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32)
		return Fail(error, std::to_string(bitsPerPixel) + " bits a pixel");
	const uint64_t width = header[kPixmapWidth];
	const uint64_t height = header[kPixmapHeight];
	const uint64_t bytesPerLine = header[kBytesPerLine];
	const uint64_t bytesPerPixel = bitsPerPixel / 8;
	if (width > 1 << 15 || height > 1 << 15 || bytesPerLine < width * bytesPerPixel)
		return Fail(error, "implausible size");
	const uint64_t colorsStart = header[kHeaderSize];
	const uint64_t pixelsStart = colorsStart + uint64_t(header[kColorCount]) * kColorSize;
	if (colorsStart < kHeaderFieldCount * 4 || pixelsStart + bytesPerLine * height > data.size())
		return Fail(error, "cut short");

	std::map<uint32_t, uint32_t> colormap;
	for (uint32_t i = 0; i < header[kColorCount]; i++) {
		const uint8_t* entry = &data[colorsStart + i * kColorSize];
		colormap[BigEndian32(entry)] = uint32_t(BigEndian16(entry + 4) >> 8) << 16 |
		                               uint32_t(BigEndian16(entry + 6) >> 8) << 8 |
		                               uint32_t(BigEndian16(entry + 8) >> 8);
	}
	const bool trueColor =
	    header[kVisualClass] == kTrueColor || header[kVisualClass] == kDirectColor;
	const bool msbFirst = header[kByteOrder] == kMsbFirst;

	std::vector<uint32_t> pixels(width * height);
	for (uint64_t y = 0; y < height; y++) {
		const uint8_t* row = &data[pixelsStart + y * bytesPerLine];
		for (uint64_t x = 0; x < width; x++) {
			const uint8_t* bytes = row + x * bytesPerPixel;
			uint32_t value = 0;
			for (uint64_t i = 0; i < bytesPerPixel; i++) {
				const uint64_t shift = msbFirst ? (bytesPerPixel - 1 - i) * 8 : i * 8;
				value |= uint32_t(bytes[i]) << shift;
			}
			uint32_t rgb;
			if (trueColor) {
				rgb = uint32_t(Channel(value, header[kRedMask])) << 16 |
				      uint32_t(Channel(value, header[kGreenMask])) << 8 |
				      Channel(value, header[kBlueMask]);
			} else {
				const auto found = colormap.find(value);
				if (found == colormap.end())
					return Fail(error, "pixel value not in the colour map");
				rgb = found->second;
			}
			pixels[y * width + x] = rgb;
		}
	}
	fWidth = int32_t(width);
	fHeight = int32_t(height);
	fPixels = std::move(pixels);
	return true;
}

rgb_color Xwd::PixelAt(int32_t x, int32_t y) const
{
	assert(x >= 0 && x < fWidth && y >= 0 && y < fHeight);
	const uint32_t rgb = fPixels[size_t(y) * size_t(fWidth) + size_t(x)];
	return rgb_color{uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb), 255};
}

} // namespace VelmoTest
