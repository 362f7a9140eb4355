#include "interface/FontFace.h"

#include <math.h>
#include <string.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "interface/FreeTypeLibrary.h"

namespace BPrivate {

namespace {

// Text on one screen uses a few hundred glyphs at most; past this the cache starts afresh
// rather than grow without end (glyphs handed out stay alive through their shared pointers).
const size_t kMaxCachedGlyphs = 4096;

int32 ToSize26Dot6(float size)
{
	if (!(size > 0))
		return 0;
	return int32(lroundf(min_c(size, FontFace::kMaxSize) * 64));
}

int32 RoundedPixels(FT_Pos value26Dot6)
{
	return int32((value26Dot6 + 32) >> 6);
}

// Coverage of one row of a 1-bit bitmap (a face with bitmap strikes only renders those).
void ExpandMonoRow(const uint8* from, uint8* to, int32 width)
{
	for (int32 x = 0; x < width; x++)
		to[x] = (from[x / 8] & (0x80 >> (x % 8))) != 0 ? 255 : 0;
}

} // namespace

std::shared_ptr<const FontFace> FontFace::Open(std::shared_ptr<FreeTypeLibrary> library,
                                               const std::string& path, int32 index)
{
	if (library == nullptr)
		return nullptr;
	FT_Face face = nullptr;
	{
		std::lock_guard<std::mutex> guard(library->Lock());
		if (FT_New_Face(library->Handle(), path.c_str(), index, &face) != 0)
			return nullptr;
	}
	return std::shared_ptr<const FontFace>(new FontFace(std::move(library), face, path));
}

std::shared_ptr<const FontFace> FontFace::Empty()
{
	static const std::shared_ptr<const FontFace> empty(new FontFace(nullptr, nullptr, ""));
	return empty;
}

FontFace::FontFace(std::shared_ptr<FreeTypeLibrary> library, FT_FaceRec_* face,
                   const std::string& path)
    : fLibrary(std::move(library)), fFace(face), fPath(path)
{
	if (fFace == nullptr)
		return;
	fFamilyName = fFace->family_name != nullptr ? fFace->family_name : "";
	fStyleName = fFace->style_name != nullptr ? fFace->style_name : "";
	fFixedWidth = FT_IS_FIXED_WIDTH(fFace);
	fBold = (fFace->style_flags & FT_STYLE_FLAG_BOLD) != 0;
	fItalic = (fFace->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
}

FontFace::~FontFace()
{
	if (fFace == nullptr)
		return;
	std::lock_guard<std::mutex> guard(fLibrary->Lock());
	FT_Done_Face(fFace);
}

std::shared_ptr<const Glyph> FontFace::GlyphFor(uint32 codePoint, float size) const
{
	static const std::shared_ptr<const Glyph> kNothing = std::make_shared<const Glyph>();
	int32 size26Dot6 = ToSize26Dot6(size);
	if (fFace == nullptr || size26Dot6 == 0)
		return kNothing;

	std::lock_guard<std::mutex> guard(fLock);
	auto key = std::make_pair(size26Dot6, codePoint);
	auto found = fGlyphs.find(key);
	if (found != fGlyphs.end())
		return found->second;

	std::shared_ptr<const Glyph> glyph = RenderLocked(codePoint, size26Dot6);
	if (glyph == nullptr)
		return kNothing;
	if (fGlyphs.size() >= kMaxCachedGlyphs)
		fGlyphs.clear();
	fGlyphs.emplace(key, glyph);
	return glyph;
}

font_height FontFace::Height(float size) const
{
	font_height height = {0, 0, 0};
	int32 size26Dot6 = ToSize26Dot6(size);
	if (fFace == nullptr || size26Dot6 == 0)
		return height;

	std::lock_guard<std::mutex> guard(fLock);
	if (!SetSizeLocked(size26Dot6))
		return height;
	const FT_Size_Metrics& metrics = fFace->size->metrics;
	height.ascent = metrics.ascender / 64.0f;
	height.descent = -metrics.descender / 64.0f;
	height.leading = max_c(0.0f, (metrics.height - metrics.ascender + metrics.descender) / 64.0f);
	return height;
}

bool FontFace::SetSizeLocked(int32 size26Dot6) const
{
	if (size26Dot6 == fCurrentSize)
		return true;
	if (FT_Set_Char_Size(fFace, 0, size26Dot6, 72, 72) != 0) {
		fCurrentSize = -1;
		return false;
	}
	fCurrentSize = size26Dot6;
	return true;
}

std::shared_ptr<const Glyph> FontFace::RenderLocked(uint32 codePoint, int32 size26Dot6) const
{
	if (!SetSizeLocked(size26Dot6))
		return nullptr;
	// Index 0 is the face's missing-glyph box, drawn for characters it lacks.
	FT_UInt index = FT_Get_Char_Index(fFace, codePoint);
	if (FT_Load_Glyph(fFace, index, FT_LOAD_DEFAULT) != 0)
		return nullptr;
	FT_GlyphSlot slot = fFace->glyph;
	if (slot->format != FT_GLYPH_FORMAT_BITMAP && FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0)
		return nullptr;

	auto glyph = std::make_shared<Glyph>();
	glyph->advance = RoundedPixels(slot->advance.x);
	const FT_Bitmap& bitmap = slot->bitmap;
	bool gray = bitmap.pixel_mode == FT_PIXEL_MODE_GRAY && bitmap.num_grays == 256;
	bool mono = bitmap.pixel_mode == FT_PIXEL_MODE_MONO;
	if (bitmap.width == 0 || bitmap.rows == 0 || (!gray && !mono))
		return glyph;

	glyph->left = slot->bitmap_left;
	glyph->top = slot->bitmap_top;
	glyph->width = int32(bitmap.width);
	glyph->height = int32(bitmap.rows);
	glyph->coverage.resize(size_t(glyph->width) * glyph->height);
	// The pitch steps down one row either way; a negative one means the rows are stored
	// bottom-up, and the buffer starts with the bottom row.
	const uint8* topRow = bitmap.buffer;
	if (bitmap.pitch < 0)
		topRow -= ptrdiff_t(bitmap.pitch) * (glyph->height - 1);
	for (int32 y = 0; y < glyph->height; y++) {
		const uint8* from = topRow + ptrdiff_t(y) * bitmap.pitch;
		uint8* to = &glyph->coverage[size_t(y) * glyph->width];
		if (gray)
			memcpy(to, from, glyph->width);
		else
			ExpandMonoRow(from, to, glyph->width);
	}
	return glyph;
}

} // namespace BPrivate
