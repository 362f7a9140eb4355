#include "translation/ImageHeader.h"

#include <string.h>
#include <strings.h>

namespace BPrivate {

namespace {

uint32 Little16(const uint8* bytes)
{
	return bytes[0] | (uint32(bytes[1]) << 8);
}

uint32 Little32(const uint8* bytes)
{
	return Little16(bytes) | (Little16(bytes + 2) << 16);
}

uint32 Big16(const uint8* bytes)
{
	return (uint32(bytes[0]) << 8) | bytes[1];
}

uint32 Big32(const uint8* bytes)
{
	return (Big16(bytes) << 16) | Big16(bytes + 2);
}

bool ReadBmp(const uint8* data, size_t size, ImageHeader* header)
{
	if (size < 26)
		return false;
	uint32 infoSize = Little32(data + 14);
	if (infoSize == 12) {
		// OS/2 BITMAPCOREHEADER: 16-bit unsigned sides.
		header->width = Little16(data + 18);
		header->height = Little16(data + 20);
		return true;
	}
	if (infoSize < 16)
		return false;
	// Signed 32-bit sides; a negative height means the rows are stored top-down.
	header->width = int32(Little32(data + 18));
	int64 height = int32(Little32(data + 22));
	header->height = height < 0 ? -height : height;
	return true;
}

bool ReadPng(const uint8* data, size_t size, ImageHeader* header)
{
	// Signature, then the IHDR chunk: length, type, width, height.
	if (size < 24 || memcmp(data + 12, "IHDR", 4) != 0)
		return false;
	header->width = Big32(data + 16);
	header->height = Big32(data + 20);
	return true;
}

// The decoder takes the size of the first image in the file, which may be larger than the
// "logical screen" the header gives: both are checked.
bool ReadGif(const uint8* data, size_t size, ImageHeader* header)
{
	if (size < 13)
		return false;
	int64 screenWidth = Little16(data + 6);
	int64 screenHeight = Little16(data + 8);
	size_t offset = 13;
	if ((data[10] & 0x80) != 0)
		offset += 3 * (size_t(2) << (data[10] & 0x07));

	while (offset < size) {
		uint8 block = data[offset];
		if (block == 0x2c) {
			if (size - offset < 10)
				return false;
			header->width = max_c(screenWidth, int64(Little16(data + offset + 5)));
			header->height = max_c(screenHeight, int64(Little16(data + offset + 7)));
			return true;
		}
		if (block != 0x21 || size - offset < 2)
			return false;
		// An extension: its label, then sub-blocks each led by its length, up to an empty one.
		offset += 2;
		while (offset < size && data[offset] != 0)
			offset += size_t(data[offset]) + 1;
		offset++;
	}
	return false;
}

bool ReadJpeg(const uint8* data, size_t size, ImageHeader* header)
{
	size_t offset = 2;
	while (offset + 4 <= size) {
		if (data[offset] != 0xff)
			return false;
		uint8 marker = data[offset + 1];
		if (marker == 0xff) {
			offset++; // fill byte
			continue;
		}
		if (marker == 0x01 || (marker >= 0xd0 && marker <= 0xd7)) {
			offset += 2; // no length
			continue;
		}
		if (marker == 0xd9 || marker == 0xda)
			return false; // end of image, or scan data before any frame header
		uint32 length = Big16(data + offset + 2);
		bool frame =
		    marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
		if (frame) {
			// Length, precision, height, width.
			if (length < 7 || size - offset < 9)
				return false;
			header->height = Big16(data + offset + 5);
			header->width = Big16(data + offset + 7);
			return true;
		}
		if (length < 2)
			return false;
		offset += 2 + size_t(length);
	}
	return false;
}

bool ReadTga(const uint8* data, size_t size, ImageHeader* header)
{
	if (size < 18)
		return false;
	header->width = Little16(data + 12);
	header->height = Little16(data + 14);
	return true;
}

// "P1" to "P6", then width and height in decimal, with white space and '#' comments between.
bool ReadPnm(const uint8* data, size_t size, ImageHeader* header)
{
	size_t offset = 2;
	int64 values[2];
	for (int64& value : values) {
		for (;;) {
			if (offset >= size)
				return false;
			if (data[offset] == '#') {
				while (offset < size && data[offset] != '\n')
					offset++;
			} else if (strchr(" \t\r\n\v\f", data[offset]) != nullptr && data[offset] != 0) {
				offset++;
			} else {
				break;
			}
		}
		if (data[offset] < '0' || data[offset] > '9')
			return false;
		value = 0;
		while (offset < size && data[offset] >= '0' && data[offset] <= '9') {
			// Past this no image is acceptable anyway; stop before the value overflows.
			if (value > (int64(1) << 40))
				return false;
			value = value * 10 + (data[offset] - '0');
			offset++;
		}
	}
	header->width = values[0];
	header->height = values[1];
	return true;
}

bool HasExtension(const char* name, const char* extension)
{
	if (name == nullptr)
		return false;
	size_t length = strlen(name);
	size_t extensionLength = strlen(extension);
	return length > extensionLength && strcasecmp(name + length - extensionLength, extension) == 0;
}

} // namespace

bool ReadImageHeader(const uint8* data, size_t size, const char* name, ImageHeader* header)
{
	*header = ImageHeader();
	bool read = false;
	ImageFormat format = ImageFormat::kUnknown;
	if (size >= 2 && data[0] == 'B' && data[1] == 'M') {
		format = ImageFormat::kBmp;
		read = ReadBmp(data, size, header);
	} else if (size >= 8 && memcmp(data, "\x89PNG\r\n\x1a\n", 8) == 0) {
		format = ImageFormat::kPng;
		read = ReadPng(data, size, header);
	} else if (size >= 6 && (memcmp(data, "GIF87a", 6) == 0 || memcmp(data, "GIF89a", 6) == 0)) {
		format = ImageFormat::kGif;
		read = ReadGif(data, size, header);
	} else if (size >= 3 && data[0] == 0xff && data[1] == 0xd8 && data[2] == 0xff) {
		format = ImageFormat::kJpeg;
		read = ReadJpeg(data, size, header);
	} else if (size >= 3 && data[0] == 'P' && data[1] >= '1' && data[1] <= '6' &&
	           strchr(" \t\r\n", data[2]) != nullptr && data[2] != 0) {
		format = ImageFormat::kPnm;
		read = ReadPnm(data, size, header);
	} else if (HasExtension(name, ".tga")) {
		format = ImageFormat::kTga;
		read = ReadTga(data, size, header);
	}
	if (!read) {
		*header = ImageHeader();
		return false;
	}
	header->format = format;
	return true;
}

} // namespace BPrivate
