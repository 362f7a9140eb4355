#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <GraphicsDefs.h>

namespace VelmoTest {

// An image in X's window-dump format, as `xwd` writes it: a header of big-endian 32-bit fields,
// the window's name, the colour map, then the pixels as the server gave them (in the header's
// byte order). Reads Z-pixmaps of 8, 16, 24 or 32 bits a pixel, true colour and colour-mapped.
class Xwd
{
public:
	// Replaces this image with the one in `data`; false with the reason in *error when `data` is
	// not an image this reads (then the image is left empty).
	bool Parse(const std::vector<uint8_t>& data, std::string* error = nullptr);

	int32_t Width() const { return fWidth; }
	int32_t Height() const { return fHeight; }
	// The pixel's colour, alpha 255. (x, y) must lie in the image.
	rgb_color PixelAt(int32_t x, int32_t y) const;

private:
	int32_t fWidth = 0;
	int32_t fHeight = 0;
	// 0xRRGGBB a pixel, row after row.
	std::vector<uint32_t> fPixels;
};

} // namespace VelmoTest
