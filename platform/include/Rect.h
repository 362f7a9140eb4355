#pragma once

#include <Point.h>

// A rectangle whose right and bottom edges belong to it: BRect(0, 0, 9, 9) covers 10 x 10 pixels.
class BRect {
public:
	float left;
	float top;
	float right;
	float bottom;

	// An invalid rectangle (right < left), as BeOS's default constructor gives.
	constexpr BRect() : left(0), top(0), right(-1), bottom(-1) {}
	constexpr BRect(float newLeft, float newTop, float newRight, float newBottom)
		: left(newLeft), top(newTop), right(newRight), bottom(newBottom) {}
	constexpr BRect(BPoint leftTop, BPoint rightBottom)
		: left(leftTop.x), top(leftTop.y), right(rightBottom.x), bottom(rightBottom.y) {}

	void Set(float l, float t, float r, float b) { left = l; top = t; right = r; bottom = b; }

	BPoint LeftTop() const { return BPoint(left, top); }
	BPoint RightBottom() const { return BPoint(right, bottom); }
	float Width() const { return right - left; }
	float Height() const { return bottom - top; }
	int32 IntegerWidth() const { return (int32)(right - left); }
	int32 IntegerHeight() const { return (int32)(bottom - top); }
	bool IsValid() const { return left <= right && top <= bottom; }

	bool Contains(BPoint point) const
	{
		return point.x >= left && point.x <= right && point.y >= top && point.y <= bottom;
	}
	bool Intersects(BRect other) const
	{
		return IsValid() && other.IsValid() && left <= other.right && other.left <= right
			&& top <= other.bottom && other.top <= bottom;
	}

	BRect& OffsetBy(float dx, float dy)
	{
		left += dx; right += dx; top += dy; bottom += dy;
		return *this;
	}
	BRect OffsetByCopy(float dx, float dy) const { return BRect(*this).OffsetBy(dx, dy); }
	BRect& OffsetTo(float x, float y) { return OffsetBy(x - left, y - top); }
	BRect& InsetBy(float dx, float dy)
	{
		left += dx; right -= dx; top += dy; bottom -= dy;
		return *this;
	}

	// Intersection; invalid when the two do not meet.
	BRect operator&(BRect other) const
	{
		return BRect(max_c(left, other.left), max_c(top, other.top), min_c(right, other.right),
			min_c(bottom, other.bottom));
	}
	// Smallest rectangle holding both.
	BRect operator|(BRect other) const
	{
		return BRect(min_c(left, other.left), min_c(top, other.top), max_c(right, other.right),
			max_c(bottom, other.bottom));
	}
	bool operator==(BRect other) const
	{
		return left == other.left && top == other.top && right == other.right
			&& bottom == other.bottom;
	}
	bool operator!=(BRect other) const { return !(*this == other); }
};
