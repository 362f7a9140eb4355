#pragma once

#include <vector>

#include <Rect.h>
#include <SupportDefs.h>

namespace BPrivate {

class Framebuffer;

// Pixel formats a scan-out buffer may have. Black is all bits clear in each.
enum class ScanoutFormat
{
	kXrgb8888, // 32 bits a pixel, 0x00RRGGBB in host order
	kRgb565,   // 16 bits a pixel, rrrrrggggggbbbbb in host order
};

// Memory the screen shows: `height` rows of `pitch` bytes (at least `width` pixels; the driver
// may pad rows), owned elsewhere. Pure: nothing here touches a device.
struct ScanoutBuffer
{
	uint8* pixels;
	int32 width;
	int32 height;
	int32 pitch;
	ScanoutFormat format;

	BRect Bounds() const { return BRect(0, 0, width - 1, height - 1); }
};

// Makes the whole buffer black, padding included.
void ClearScanout(const ScanoutBuffer& target);
// Makes `area` (clipped to the buffer) black; returns what was, an invalid rectangle for nothing.
BRect ClearScanout(const ScanoutBuffer& target, BRect area);

// Copies `damage` (window coordinates, inclusive) of a window's framebuffer into `target`, with
// the window's top-left pixel at `leftTop` on the screen, converting to the buffer's format and
// clipping to both. What falls outside the buffer is dropped, bytes beyond each row's width are
// never written. `scratch` is reused between calls where the pixels need converting. Returns the
// screen rectangle written, or an invalid one when nothing was.
BRect PlaceDamage(const Framebuffer& source, BPoint leftTop, BRect damage,
                  const ScanoutBuffer& target, std::vector<uint32>* scratch);

} // namespace BPrivate
