#pragma once

#include <string>
#include <vector>

#include <SupportDefs.h>

// Images the tests make themselves, and the files they write them to: BMP files written byte by
// byte (so that a test knows exactly what a reader was given), PNG files through SDL_image.
namespace ImageFiles {

// Pixels are uint32 0xAARRGGBB, row after row.
struct Image
{
	int32 width = 0;
	int32 height = 0;
	std::vector<uint32> pixels;

	uint32 At(int32 x, int32 y) const { return pixels[size_t(y) * width + x]; }
};

// An opaque image whose every pixel differs from its neighbours: a wrong offset, a swapped
// channel or a flipped row shows up in a comparison.
Image Pattern(int32 width, int32 height);

// 24 bits a pixel (alpha dropped, rows padded to 4 bytes) or 32 (alpha kept), bottom-up rows.
bool WriteBmp(const std::string& path, const Image& image, int bitsPerPixel);
bool WritePng(const std::string& path, const Image& image);
bool WriteBytes(const std::string& path, const std::vector<uint8>& bytes);
std::vector<uint8> ReadBytes(const std::string& path);

// Decodes a file with SDL_image into an Image; width 0 on failure.
Image Load(const std::string& path);

} // namespace ImageFiles
