#include <Font.h>

#include <string.h>

#include "interface/FontCatalog.h"
#include "interface/FontFace.h"
#include "interface/Utf8.h"

namespace {

// BeOS's system fonts, by their BeOS names: the catalogue finds what stands in for them here.
const char* const kPlainFamily = "Swis721 BT";
const char* const kPlainStyle = "Roman";
const char* const kBoldStyle = "Bold";
const char* const kFixedFamily = "Monospac821 BT";
const float kSystemSize = 12;

void CopyName(char* to, const char* from, size_t size)
{
	size_t length = from != nullptr ? strnlen(from, size - 1) : 0;
	if (length > 0)
		memcpy(to, from, length);
	to[length] = '\0';
}

const std::shared_ptr<const BPrivate::FontFace>& PlainFace()
{
	static const std::shared_ptr<const BPrivate::FontFace> face = [] {
		BPrivate::FontCatalog& catalog = BPrivate::FontCatalog::Default();
		std::shared_ptr<const BPrivate::FontFace> found = catalog.Find(kPlainFamily, kPlainStyle);
		return found != nullptr ? found : catalog.Generic("sans-serif", kPlainStyle);
	}();
	return face;
}

// Built from the plain font, so a face that cannot be found leaves the plain one.
BFont SystemFont(const char* family, const char* style)
{
	BFont font;
	font.SetFamilyAndStyle(family, style);
	return font;
}

const BFont& PlainFont()
{
	static const BFont font;
	return font;
}

const BFont& BoldFont()
{
	static const BFont font = SystemFont(kPlainFamily, kBoldStyle);
	return font;
}

const BFont& FixedFont()
{
	static const BFont font = SystemFont(kFixedFamily, kPlainStyle);
	return font;
}

} // namespace

const BFont* be_plain_font = &PlainFont();
const BFont* be_bold_font = &BoldFont();
const BFont* be_fixed_font = &FixedFont();

BFont::BFont() : fSize(kSystemSize), fFace(PlainFace())
{
	CopyName(fFamily, kPlainFamily, sizeof(fFamily));
	CopyName(fStyle, kPlainStyle, sizeof(fStyle));
}

BFont::BFont(const BFont& font) = default;

BFont::BFont(const BFont* font) : BFont(font != nullptr ? *font : BFont()) {}

BFont::~BFont() = default;

BFont& BFont::operator=(const BFont& font) = default;

bool BFont::operator==(const BFont& font) const
{
	return strcmp(fFamily, font.fFamily) == 0 && strcmp(fStyle, font.fStyle) == 0 &&
	       fSize == font.fSize && fFace == font.fFace;
}

status_t BFont::SetFamilyAndStyle(const font_family family, const font_style style)
{
	if (family == nullptr)
		return B_BAD_VALUE;
	std::shared_ptr<const BPrivate::FontFace> face =
	    BPrivate::FontCatalog::Default().Find(family, style);
	if (face == nullptr)
		return B_NAME_NOT_FOUND;
	fFace = std::move(face);
	CopyName(fFamily, family, sizeof(fFamily));
	CopyName(fStyle, style != nullptr ? style : kPlainStyle, sizeof(fStyle));
	return B_OK;
}

void BFont::GetFamilyAndStyle(font_family* family, font_style* style) const
{
	if (family != nullptr)
		CopyName(*family, fFamily, sizeof(font_family));
	if (style != nullptr)
		CopyName(*style, fStyle, sizeof(font_style));
}

void BFont::SetSize(float size)
{
	if (!(size >= 0))
		size = 0;
	fSize = min_c(size, BPrivate::FontFace::kMaxSize);
}

float BFont::Size() const
{
	return fSize;
}

float BFont::StringWidth(const char* string) const
{
	if (string == nullptr)
		return 0;
	return StringWidth(string, int32(strlen(string)));
}

float BFont::StringWidth(const char* string, int32 length) const
{
	if (string == nullptr || length <= 0)
		return 0;
	const char* cursor = string;
	const char* end = string + strnlen(string, length);
	int32 width = 0;
	while (cursor < end)
		width += fFace->GlyphFor(BPrivate::DecodeUtf8(cursor, end), fSize)->advance;
	return width;
}

void BFont::GetHeight(font_height* height) const
{
	if (height != nullptr)
		*height = fFace->Height(fSize);
}
