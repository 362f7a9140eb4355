#pragma once

#include <GraphicsDefs.h>
#include <Rect.h>

// An image in memory. This layer supports B_RGB32 and B_RGBA32, the spaces images are read into.
class BBitmap {
public:
	// Bounds are inclusive: BRect(0, 0, 63, 31) is 64 x 32 pixels. A bitmap too large to be
	// sensible (or that cannot be allocated) is left with InitCheck() B_NO_MEMORY and no bits;
	// an invalid rectangle or colour space gives B_BAD_VALUE.
	BBitmap(BRect bounds, color_space space, bool acceptsViews = false,
		bool needsContiguous = false);
	~BBitmap();

	BBitmap(const BBitmap&) = delete;
	BBitmap& operator=(const BBitmap&) = delete;

	status_t InitCheck() const;
	bool IsValid() const { return InitCheck() == B_OK; }

	BRect Bounds() const;
	void* Bits() const;
	int32 BitsLength() const;
	int32 BytesPerRow() const;
	color_space ColorSpace() const;

private:
	BRect fBounds;
	color_space fSpace;
	int32 fBytesPerRow;
	uint8* fBits;
	status_t fInitStatus;
};
