#pragma once

#include <mutex>
#include <vector>

#include <GraphicsDefs.h>
#include <Rect.h>

class BBitmap;
class BFont;

namespace BPrivate {

// A window's backing store: what its views have painted stays here until painted over, and a
// display shows the screen again from it (after an expose, say) without asking the views.
// Pixels are uint32 0xAARRGGBB in host order (SDL's ARGB8888), starting all black (0, 0, 0, 255).
// Coordinates are the window's; every rectangle is inclusive; every operation is clipped to the
// framebuffer and to `clip`.
// Thread-safe: the window's thread draws while a display's thread reads.
class Framebuffer {
public:
	Framebuffer(int32 width, int32 height);

	int32 Width() const { return fWidth; }
	int32 Height() const { return fHeight; }
	BRect Bounds() const { return BRect(0, 0, fWidth - 1, fHeight - 1); }

	void FillRect(BRect rect, rgb_color color, BRect clip);
	// Copies the bitmap 1:1 with its top-left corner at `leftTop`; alpha is ignored for B_RGB32,
	// blended for B_RGBA32. An invalid bitmap draws nothing.
	void DrawBitmap(const BBitmap& bitmap, BPoint leftTop, BRect clip);
	// Draws `length` bytes of UTF-8 text, anti-aliased in `high` over what is there, starting at
	// the left end of the baseline. Returns the pen position after the text.
	BPoint DrawString(const BFont& font, const char* string, int32 length, BPoint baseline,
		rgb_color high, BRect clip);

	rgb_color PixelAt(int32 x, int32 y) const;

	// The smallest rectangle holding everything painted since the last call; false when
	// nothing was.
	bool TakeDamage(BRect* damage);
	// Copies `area` (clipped) into `destination`, a buffer of `stride` pixels a row whose first
	// pixel is the area's top-left one.
	void CopyPixels(BRect area, uint32* destination, int32 stride) const;
	// Writes the whole framebuffer as a PNG file (a host path). B_OK or a B_ error.
	status_t SavePNG(const char* hostPath) const;

private:
	void AddDamage(BRect rect);

	const int32 fWidth;
	const int32 fHeight;
	mutable std::mutex fLock;
	std::vector<uint32> fPixels;
	BRect fDamage;
};

} // namespace BPrivate
