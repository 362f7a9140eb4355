#include "interface/drm/ScanoutBuffer.h"

#include <string.h>

#include <cmath>

#include "interface/Framebuffer.h"

namespace BPrivate {

namespace {

uint16 Rgb565(uint32 argb)
{
	return static_cast<uint16>(((argb >> 8) & 0xf800) | ((argb >> 5) & 0x07e0) |
	                           ((argb >> 3) & 0x001f));
}

} // namespace

void ClearScanout(const ScanoutBuffer& target)
{
	memset(target.pixels, 0, static_cast<size_t>(target.pitch) * target.height);
}

BRect ClearScanout(const ScanoutBuffer& target, BRect area)
{
	area = area & target.Bounds();
	if (!area.IsValid())
		return BRect();
	const size_t bytes = target.format == ScanoutFormat::kXrgb8888 ? 4 : 2;
	for (int32 y = static_cast<int32>(area.top); y <= static_cast<int32>(area.bottom); y++) {
		memset(target.pixels + static_cast<size_t>(y) * target.pitch +
		           static_cast<size_t>(area.left) * bytes,
		       0, static_cast<size_t>(area.IntegerWidth() + 1) * bytes);
	}
	return area;
}

BRect PlaceDamage(const Framebuffer& source, BPoint leftTop, BRect damage,
                  const ScanoutBuffer& target, std::vector<uint32>* scratch)
{
	// Whole pixels only: a frame between pixels would be one the screen cannot show.
	const int32 left = static_cast<int32>(std::floor(leftTop.x));
	const int32 top = static_cast<int32>(std::floor(leftTop.y));
	BRect area = damage & source.Bounds();
	area.OffsetBy(left, top);
	area = area & target.Bounds();
	if (!area.IsValid())
		return BRect();

	const int32 x = static_cast<int32>(area.left);
	const int32 y = static_cast<int32>(area.top);
	const BRect windowArea = area.OffsetByCopy(-left, -top);
	// The framebuffer's pixels are XRGB8888 already (the alpha byte goes where X is ignored):
	// straight in, rows permitting.
	if (target.format == ScanoutFormat::kXrgb8888 && target.pitch % 4 == 0) {
		uint8* first =
		    target.pixels + static_cast<size_t>(y) * target.pitch + static_cast<size_t>(x) * 4;
		source.CopyPixels(windowArea, reinterpret_cast<uint32*>(first), target.pitch / 4);
		return area;
	}

	const int32 width = area.IntegerWidth() + 1;
	const int32 height = area.IntegerHeight() + 1;
	scratch->resize(static_cast<size_t>(width) * height);
	source.CopyPixels(windowArea, scratch->data(), width);
	const uint32* from = scratch->data();
	for (int32 row = 0; row < height; row++, from += width) {
		uint8* to = target.pixels + static_cast<size_t>(y + row) * target.pitch;
		if (target.format == ScanoutFormat::kXrgb8888) {
			memcpy(to + static_cast<size_t>(x) * 4, from, static_cast<size_t>(width) * 4);
			continue;
		}
		uint16* pixels = reinterpret_cast<uint16*>(to) + x;
		for (int32 i = 0; i < width; i++)
			pixels[i] = Rgb565(from[i]);
	}
	return area;
}

} // namespace BPrivate
