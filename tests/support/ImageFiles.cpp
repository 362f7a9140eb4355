#include "support/ImageFiles.h"

#include <stdio.h>

#include <memory>

#include <SDL.h>
#include <SDL_image.h>

namespace ImageFiles {

namespace {

void PutLittle(std::vector<uint8>& bytes, uint32 value, int size)
{
	for (int i = 0; i < size; i++)
		bytes.push_back(uint8(value >> (8 * i)));
}

using SurfacePointer = std::unique_ptr<SDL_Surface, decltype(&SDL_FreeSurface)>;

} // namespace

Image Pattern(int32 width, int32 height)
{
	Image image;
	image.width = width;
	image.height = height;
	image.pixels.resize(size_t(width) * height);
	for (int32 y = 0; y < height; y++) {
		for (int32 x = 0; x < width; x++) {
			uint32 red = (x * 7 + y * 3) & 0xff;
			uint32 green = (x * 13 + y * 29 + 40) & 0xff;
			uint32 blue = (x * 3 + y * 11 + 90) & 0xff;
			image.pixels[size_t(y) * width + x] = 0xff000000 | (red << 16) | (green << 8) | blue;
		}
	}
	return image;
}

bool WriteBmp(const std::string& path, const Image& image, int bitsPerPixel)
{
	if (bitsPerPixel != 24 && bitsPerPixel != 32)
		return false;
	uint32 rowBytes = (uint32(image.width) * (bitsPerPixel / 8) + 3) & ~3u;
	bool withMasks = bitsPerPixel == 32;
	// BITMAPINFOHEADER, or BITMAPV4HEADER when the masks (and so the alpha) must be spelled out.
	uint32 infoSize = withMasks ? 108 : 40;
	uint32 offset = 14 + infoSize;
	uint32 fileSize = offset + rowBytes * image.height;

	std::vector<uint8> bytes;
	bytes.push_back('B');
	bytes.push_back('M');
	PutLittle(bytes, fileSize, 4);
	PutLittle(bytes, 0, 4);
	PutLittle(bytes, offset, 4);
	PutLittle(bytes, infoSize, 4);
	PutLittle(bytes, image.width, 4);
	PutLittle(bytes, image.height, 4);
	PutLittle(bytes, 1, 2);
	PutLittle(bytes, bitsPerPixel, 2);
	PutLittle(bytes, withMasks ? 3 : 0, 4); // BI_BITFIELDS or BI_RGB
	PutLittle(bytes, rowBytes * image.height, 4);
	PutLittle(bytes, 2835, 4);
	PutLittle(bytes, 2835, 4);
	PutLittle(bytes, 0, 4);
	PutLittle(bytes, 0, 4);
	if (withMasks) {
		PutLittle(bytes, 0x00ff0000, 4);
		PutLittle(bytes, 0x0000ff00, 4);
		PutLittle(bytes, 0x000000ff, 4);
		PutLittle(bytes, 0xff000000, 4);
		PutLittle(bytes, 0x73524742, 4); // LCS_sRGB
		for (int i = 0; i < 12; i++)
			PutLittle(bytes, 0, 4); // end points and gammas
	}
	for (int32 y = image.height - 1; y >= 0; y--) {
		size_t rowStart = bytes.size();
		for (int32 x = 0; x < image.width; x++)
			PutLittle(bytes, image.At(x, y), bitsPerPixel / 8);
		while (bytes.size() - rowStart < rowBytes)
			bytes.push_back(0);
	}
	return WriteBytes(path, bytes);
}

bool WritePng(const std::string& path, const Image& image)
{
	std::vector<uint32> pixels = image.pixels;
	SurfacePointer surface(SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), image.width,
	                                                          image.height, 32, image.width * 4,
	                                                          SDL_PIXELFORMAT_ARGB8888),
	                       &SDL_FreeSurface);
	return surface != nullptr && IMG_SavePNG(surface.get(), path.c_str()) == 0;
}

bool WriteBytes(const std::string& path, const std::vector<uint8>& bytes)
{
	std::unique_ptr<FILE, decltype(&fclose)> file(fopen(path.c_str(), "wb"), &fclose);
	if (file == nullptr)
		return false;
	return bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
}

std::vector<uint8> ReadBytes(const std::string& path)
{
	std::vector<uint8> bytes;
	std::unique_ptr<FILE, decltype(&fclose)> file(fopen(path.c_str(), "rb"), &fclose);
	if (file == nullptr)
		return bytes;
	uint8 buffer[65536];
	size_t got;
	while ((got = fread(buffer, 1, sizeof(buffer), file.get())) > 0)
		bytes.insert(bytes.end(), buffer, buffer + got);
	return bytes;
}

Image Load(const std::string& path)
{
	Image image;
	SurfacePointer loaded(IMG_Load(path.c_str()), &SDL_FreeSurface);
	if (loaded == nullptr)
		return image;
	SurfacePointer surface(SDL_ConvertSurfaceFormat(loaded.get(), SDL_PIXELFORMAT_ARGB8888, 0),
	                       &SDL_FreeSurface);
	if (surface == nullptr)
		return image;
	image.width = surface->w;
	image.height = surface->h;
	image.pixels.resize(size_t(surface->w) * surface->h);
	for (int32 y = 0; y < surface->h; y++) {
		const uint32* row = reinterpret_cast<const uint32*>(
		    static_cast<const uint8*>(surface->pixels) + size_t(y) * surface->pitch);
		for (int32 x = 0; x < surface->w; x++)
			image.pixels[size_t(y) * surface->w + x] = row[x];
	}
	return image;
}

} // namespace ImageFiles
