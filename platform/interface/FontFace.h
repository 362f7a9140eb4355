#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <Font.h>

struct FT_FaceRec_;

namespace BPrivate {

class FreeTypeLibrary;

// One glyph rendered at one size: 8-bit coverage, hinted, and its advance in whole pixels.
struct Glyph
{
	// From the pen position on the baseline to the bitmap's top-left pixel: `left` to the
	// right, `top` upwards (FreeType's bitmap_left and bitmap_top).
	int32 left = 0;
	int32 top = 0;
	int32 width = 0;
	int32 height = 0;
	int32 advance = 0;
	// width * height coverage values, 0 (none) to 255 (full), row after row.
	std::vector<uint8> coverage;
};

// A font file's face, opened with FreeType, with the glyphs it has rendered so far kept per size.
// Sizes are in pixels (BeOS points at 72 dpi), clamped to 0..kMaxSize.
// Thread-safe: any thread may ask it for glyphs and metrics; FreeType's face, which is not
// thread-safe, is only touched under the face's lock.
class FontFace
{
public:
	static constexpr float kMaxSize = 1000;

	// Null when FreeType cannot read face `index` of the file at `path`.
	static std::shared_ptr<const FontFace> Open(std::shared_ptr<FreeTypeLibrary> library,
	                                            const std::string& path, int32 index);
	// A face without glyphs, for a machine where no font can be found: text takes no room.
	static std::shared_ptr<const FontFace> Empty();

	~FontFace();

	FontFace(const FontFace&) = delete;
	FontFace& operator=(const FontFace&) = delete;

	const std::string& Path() const { return fPath; }
	const std::string& FamilyName() const { return fFamilyName; }
	const std::string& StyleName() const { return fStyleName; }
	bool IsFixedWidth() const { return fFixedWidth; }
	bool IsBold() const { return fBold; }
	bool IsItalic() const { return fItalic; }

	// Never null. A character the face lacks gives the face's missing-glyph box.
	std::shared_ptr<const Glyph> GlyphFor(uint32 codePoint, float size) const;
	font_height Height(float size) const;

private:
	FontFace(std::shared_ptr<FreeTypeLibrary> library, FT_FaceRec_* face, const std::string& path);

	bool SetSizeLocked(int32 size26Dot6) const;
	std::shared_ptr<const Glyph> RenderLocked(uint32 codePoint, int32 size26Dot6) const;

	const std::shared_ptr<FreeTypeLibrary> fLibrary;
	FT_FaceRec_* const fFace;
	const std::string fPath;
	std::string fFamilyName;
	std::string fStyleName;
	bool fFixedWidth = false;
	bool fBold = false;
	bool fItalic = false;

	mutable std::mutex fLock;
	mutable int32 fCurrentSize = -1;
	// Keyed by (size in 26.6 pixels, code point).
	mutable std::map<std::pair<int32, uint32>, std::shared_ptr<const Glyph>> fGlyphs;
};

} // namespace BPrivate
