#pragma once

#include <math.h>

#include <Rect.h>

namespace BPrivate {

// A rectangle of whole pixels, both edges included, as the drawing code works with them. A BRect
// becomes one the BeOS way: every edge is floored, so (320, 559)-(704, 654) covers x 320..704
// and y 559..654, and (0.5, 0.5)-(1.5, 1.5) covers x 0..1 and y 0..1.
struct PixelBox
{
	int32 left = 0;
	int32 top = 0;
	int32 right = -1;
	int32 bottom = -1;

	PixelBox() = default;
	PixelBox(int32 l, int32 t, int32 r, int32 b) : left(l), top(t), right(r), bottom(b) {}

	// An invalid rectangle, or one with a NaN edge, gives an empty box. Edges far outside any
	// framebuffer are clamped so that the arithmetic on them cannot overflow.
	static PixelBox FromRect(BRect rect)
	{
		if (!rect.IsValid())
			return PixelBox();
		return PixelBox(Floor(rect.left), Floor(rect.top), Floor(rect.right), Floor(rect.bottom));
	}

	bool IsEmpty() const { return left > right || top > bottom; }
	int32 Width() const { return right - left + 1; }
	int32 Height() const { return bottom - top + 1; }

	PixelBox operator&(const PixelBox& other) const
	{
		return PixelBox(max_c(left, other.left), max_c(top, other.top), min_c(right, other.right),
		                min_c(bottom, other.bottom));
	}

	BRect ToRect() const { return BRect(left, top, right, bottom); }

private:
	static int32 Floor(float value)
	{
		const float kLimit = 1 << 28;
		if (!(value > -kLimit))
			return -(1 << 28);
		if (value > kLimit)
			return 1 << 28;
		return int32(floorf(value));
	}
};

} // namespace BPrivate
