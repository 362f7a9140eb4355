#pragma once

#include <SupportDefs.h>

class BBitmap;
class BTranslatorRoster;

class BTranslationUtils {
public:
	// Reads an image file (BMP, PNG, GIF, TGA, JPEG, ...) into a new B_RGBA32 bitmap that the
	// caller owns. NULL on any failure: missing file, unknown or broken format, or an image too
	// large to be sensible. The path is a BeOS path, looked up under the platform root.
	static BBitmap* GetBitmapFile(const char* name, BTranslatorRoster* roster = NULL);

private:
	BTranslationUtils() = delete;
};
