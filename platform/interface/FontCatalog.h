#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include <SupportDefs.h>

struct _FcConfig;

namespace BPrivate {

class FontFace;
class FreeTypeLibrary;

// The fonts installed on this machine, as fontconfig knows them, and the faces opened from them
// (each file opened once for the whole process).
// Thread-safe: any thread may look fonts up; lookups are serialised.
class FontCatalog
{
public:
	static FontCatalog& Default();

	~FontCatalog();

	FontCatalog(const FontCatalog&) = delete;
	FontCatalog& operator=(const FontCatalog&) = delete;

	// The face for a family and a style ("Bold", "Roman", "Bold Italic", ...). When the family
	// is not installed and is one of the BeOS faces ("Monospac821 BT", "Swis721 BT",
	// "Dutch801 Rm BT", ...), an installed face of the same kind stands in for it. Null when
	// neither the family nor a stand-in is installed.
	std::shared_ptr<const FontFace> Find(const char* family, const char* style);

	// Whatever fontconfig gives for a generic family ("sans-serif", "monospace"); never null (a
	// face without glyphs when there is no font at all).
	std::shared_ptr<const FontFace> Generic(const char* generic, const char* style);

private:
	FontCatalog();

	// fontconfig's best face for `family`, or null when `exact` and that face's families do not
	// include the one asked for (fontconfig always answers with something).
	std::shared_ptr<const FontFace> MatchLocked(const char* family, const char* style, bool exact);
	std::shared_ptr<const FontFace> FaceForLocked(const std::string& path, int32 index);

	std::mutex fLock;
	_FcConfig* fConfig;
	std::shared_ptr<FreeTypeLibrary> fLibrary;
	std::map<std::pair<std::string, int32>, std::shared_ptr<const FontFace>> fFaces;
};

} // namespace BPrivate
