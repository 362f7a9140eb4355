#include <Bitmap.h>

#include <math.h>
#include <string.h>

#include <new>

namespace {

// Past these a bitmap is refused before anything is allocated: an image file may claim any size,
// and a huge allocation must fail politely here rather than reach the allocator (under
// AddressSanitizer an impossible allocation aborts the process instead of returning null).
const int64 kMaxSide = 16384;
const int64 kMaxPixels = int64(64) * 1024 * 1024;

} // namespace

BBitmap::BBitmap(BRect bounds, color_space space, bool /*acceptsViews*/, bool /*needsContiguous*/)
    : fBounds(bounds), fSpace(space), fBytesPerRow(0), fBits(nullptr), fInitStatus(B_NO_INIT)
{
	if (space != B_RGB32 && space != B_RGBA32) {
		fInitStatus = B_BAD_VALUE;
		return;
	}
	if (!bounds.IsValid() || !isfinite(bounds.left) || !isfinite(bounds.top) ||
	    !isfinite(bounds.right) || !isfinite(bounds.bottom)) {
		fInitStatus = B_BAD_VALUE;
		return;
	}

	// Widths in doubles first: a float rectangle may be far wider than any integer type.
	double width = floor(double(bounds.right)) - floor(double(bounds.left)) + 1;
	double height = floor(double(bounds.bottom)) - floor(double(bounds.top)) + 1;
	if (width > kMaxSide || height > kMaxSide || width * height > kMaxPixels) {
		fInitStatus = B_NO_MEMORY;
		return;
	}

	size_t pixels = size_t(width) * size_t(height);
	// Allocated as uint32 so that the drawing code may read the pixels as such.
	uint32* bits = new (std::nothrow) uint32[pixels];
	if (bits == nullptr) {
		fInitStatus = B_NO_MEMORY;
		return;
	}
	memset(bits, 0, pixels * sizeof(uint32));
	fBits = reinterpret_cast<uint8*>(bits);
	fBytesPerRow = int32(width) * 4;
	fInitStatus = B_OK;
}

BBitmap::~BBitmap()
{
	delete[] reinterpret_cast<uint32*>(fBits);
}

status_t BBitmap::InitCheck() const
{
	return fInitStatus;
}

BRect BBitmap::Bounds() const
{
	return fBounds;
}

void* BBitmap::Bits() const
{
	return fBits;
}

int32 BBitmap::BitsLength() const
{
	if (fBits == nullptr)
		return 0;
	return fBytesPerRow * (int32(floor(fBounds.bottom) - floor(fBounds.top)) + 1);
}

int32 BBitmap::BytesPerRow() const
{
	return fBytesPerRow;
}

color_space BBitmap::ColorSpace() const
{
	return fSpace;
}
