#pragma once

#include <stddef.h>

#include <SupportDefs.h>

namespace BPrivate {

// The image formats whose files are read, each by its own SDL_image decoder.
enum class ImageFormat
{
	kUnknown,
	kBmp,
	kPng,
	kGif,
	kJpeg,
	kTga,
	kPnm,
};

// What a file says of itself before it is decoded: its format and the size of the (first)
// image in it. A decoder allocates what the header claims, so a file is only handed to one once
// these are known and sensible.
struct ImageHeader
{
	ImageFormat format = ImageFormat::kUnknown;
	int64 width = 0;
	int64 height = 0;
};

// Reads the header of the image held in `data`. `name` (the file's name) only matters for TGA,
// which has no magic number and is known by its extension. False when the format is none of
// ImageFormat's or the header is cut short or malformed; nothing is read past `size`.
bool ReadImageHeader(const uint8* data, size_t size, const char* name, ImageHeader* header);

} // namespace BPrivate
