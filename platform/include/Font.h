#pragma once

#include <memory>

#include <SupportDefs.h>

#define B_FONT_FAMILY_LENGTH 63
#define B_FONT_STYLE_LENGTH 63
typedef char font_family[B_FONT_FAMILY_LENGTH + 1];
typedef char font_style[B_FONT_STYLE_LENGTH + 1];

// Masks of the font properties BView::SetFont takes over (BeOS R5 values).
enum {
	B_FONT_FAMILY_AND_STYLE = 0x00000001,
	B_FONT_SIZE = 0x00000002,
	B_FONT_SHEAR = 0x00000004,
	B_FONT_ROTATION = 0x00000008,
	B_FONT_SPACING = 0x00000010,
	B_FONT_ENCODING = 0x00000020,
	B_FONT_FACE = 0x00000040,
	B_FONT_FLAGS = 0x00000080,
	B_FONT_ALL = 0x000000FF,
};

struct font_height {
	float ascent;
	float descent;
	float leading;
};

namespace BPrivate {
class FontFace;
}

// A font: family, style and size, rendered through FreeType from a face fontconfig finds. A family
// that is not installed is looked up in a table of the BeOS faces and stands in for by an
// installed face of the same kind.
// A BFont is a value; copies share the (immutable, thread-safe) face they render with.
class BFont {
public:
	BFont();
	BFont(const BFont& font);
	BFont(const BFont* font);
	~BFont();

	BFont& operator=(const BFont& font);
	bool operator==(const BFont& font) const;
	bool operator!=(const BFont& font) const { return !(*this == font); }

	// B_NAME_NOT_FOUND, and the font unchanged, when neither the family nor a stand-in for it
	// is installed.
	status_t SetFamilyAndStyle(const font_family family, const font_style style);
	void GetFamilyAndStyle(font_family* family, font_style* style) const;

	void SetSize(float size);
	float Size() const;

	float StringWidth(const char* string) const;
	float StringWidth(const char* string, int32 length) const;
	void GetHeight(font_height* height) const;

	// For the platform's drawing code: the face this font renders with (never null).
	const std::shared_ptr<const BPrivate::FontFace>& Face() const { return fFace; }

private:
	font_family fFamily;
	font_style fStyle;
	float fSize;
	std::shared_ptr<const BPrivate::FontFace> fFace;
};

extern const BFont* be_plain_font;
extern const BFont* be_bold_font;
extern const BFont* be_fixed_font;
