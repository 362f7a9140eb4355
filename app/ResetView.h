#pragma once

#include <View.h>

#include "MessageLines.h"

class BBitmap;
class BFont;

// Paints the logo once and the two message lines whenever they change; forwards every key typed
// into the key queue. Its hooks run on the window's thread.
class ResetView : public BView {
public:
	ResetView(BRect frame);
	virtual ~ResetView();

	virtual void Draw(BRect updateRect);
	virtual void KeyDown(const char* bytes, int32 numBytes);
	virtual void Pulse();

private:
	BBitmap* logo;
	BFont* font;
	char shownLine1[kMessageLineSize];
	char shownLine2[kMessageLineSize];
	bool logoDrawn;
};
