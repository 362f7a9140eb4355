#include "interface/FontCatalog.h"

#include <string.h>
#include <strings.h>

#include <fontconfig/fontconfig.h>

#include "interface/FontFace.h"
#include "interface/FreeTypeLibrary.h"

namespace BPrivate {

namespace {

// The faces BeOS shipped, and the installed faces that stand in for each kind, best first. The
// generic name at the end of each list takes whatever fontconfig prefers for that kind.
const char* const kMonospaceFaces[] = {"Noto Sans Mono", "DejaVu Sans Mono", "Liberation Mono",
                                       "FreeMono",       "monospace",        nullptr};
const char* const kSansFaces[] = {"Noto Sans", "DejaVu Sans", "Liberation Sans",
                                  "FreeSans",  "sans-serif",  nullptr};
const char* const kSerifFaces[] = {"Noto Serif", "DejaVu Serif", "Liberation Serif",
                                   "FreeSerif",  "serif",        nullptr};

struct StandIn
{
	const char* family;
	const char* const* faces;
};

const StandIn kStandIns[] = {
    {"Monospac821 BT", kMonospaceFaces}, {"Courier10 BT", kMonospaceFaces},
    {"Swis721 BT", kSansFaces},          {"Swiss911 XCm BT", kSansFaces},
    {"Dutch801 Rm BT", kSerifFaces},     {"Baskerville BT", kSerifFaces},
};

bool IsGeneric(const char* family)
{
	return strcasecmp(family, "monospace") == 0 || strcasecmp(family, "sans-serif") == 0 ||
	       strcasecmp(family, "serif") == 0;
}

// The words of a BeOS style name as fontconfig weight and slant.
void ParseStyle(const char* style, int* weight, int* slant)
{
	*weight = FC_WEIGHT_REGULAR;
	*slant = FC_SLANT_ROMAN;
	struct Word
	{
		const char* word;
		int weight;
		int slant;
	};
	const Word kWords[] = {
	    {"Thin", FC_WEIGHT_THIN, -1},           {"Light", FC_WEIGHT_LIGHT, -1},
	    {"Medium", FC_WEIGHT_MEDIUM, -1},       {"DemiBold", FC_WEIGHT_DEMIBOLD, -1},
	    {"SemiBold", FC_WEIGHT_DEMIBOLD, -1},   {"Bold", FC_WEIGHT_BOLD, -1},
	    {"ExtraBold", FC_WEIGHT_EXTRABOLD, -1}, {"Black", FC_WEIGHT_BLACK, -1},
	    {"Heavy", FC_WEIGHT_HEAVY, -1},         {"Italic", -1, FC_SLANT_ITALIC},
	    {"Oblique", -1, FC_SLANT_OBLIQUE},
	};
	if (style == nullptr)
		return;
	const char* cursor = style;
	while (*cursor != '\0') {
		while (*cursor == ' ' || *cursor == '-')
			cursor++;
		const char* wordEnd = cursor;
		while (*wordEnd != '\0' && *wordEnd != ' ' && *wordEnd != '-')
			wordEnd++;
		size_t length = wordEnd - cursor;
		for (const Word& word : kWords) {
			if (strlen(word.word) == length && strncasecmp(cursor, word.word, length) == 0) {
				if (word.weight >= 0)
					*weight = word.weight;
				if (word.slant >= 0)
					*slant = word.slant;
			}
		}
		cursor = wordEnd;
	}
}

struct PatternDeleter
{
	void operator()(FcPattern* pattern) const { FcPatternDestroy(pattern); }
};
using PatternPointer = std::unique_ptr<FcPattern, PatternDeleter>;

} // namespace

FontCatalog& FontCatalog::Default()
{
	static FontCatalog catalog;
	return catalog;
}

FontCatalog::FontCatalog()
    : fConfig(FcInitLoadConfigAndFonts()), fLibrary(FreeTypeLibrary::Create())
{
}

FontCatalog::~FontCatalog()
{
	// The faces may live on in fonts that outlive the catalogue; they keep the library alive.
	fFaces.clear();
	if (fConfig != nullptr)
		FcConfigDestroy(fConfig);
}

std::shared_ptr<const FontFace> FontCatalog::Find(const char* family, const char* style)
{
	if (family == nullptr || family[0] == '\0')
		return nullptr;
	std::lock_guard<std::mutex> guard(fLock);
	std::shared_ptr<const FontFace> face = MatchLocked(family, style, true);
	if (face != nullptr)
		return face;
	for (const StandIn& standIn : kStandIns) {
		if (strcasecmp(standIn.family, family) != 0)
			continue;
		for (const char* const* candidate = standIn.faces; *candidate != nullptr; candidate++) {
			face = MatchLocked(*candidate, style, !IsGeneric(*candidate));
			if (face != nullptr)
				return face;
		}
	}
	return nullptr;
}

std::shared_ptr<const FontFace> FontCatalog::Generic(const char* generic, const char* style)
{
	std::lock_guard<std::mutex> guard(fLock);
	std::shared_ptr<const FontFace> face = MatchLocked(generic, style, false);
	return face != nullptr ? face : FontFace::Empty();
}

std::shared_ptr<const FontFace> FontCatalog::MatchLocked(const char* family, const char* style,
                                                         bool exact)
{
	if (fConfig == nullptr || fLibrary == nullptr)
		return nullptr;

	int weight;
	int slant;
	ParseStyle(style, &weight, &slant);
	PatternPointer pattern(FcPatternCreate());
	if (pattern == nullptr)
		return nullptr;
	FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
	FcPatternAddInteger(pattern.get(), FC_WEIGHT, weight);
	FcPatternAddInteger(pattern.get(), FC_SLANT, slant);
	// FreeType renders bitmap-only faces at their strike sizes only.
	FcPatternAddBool(pattern.get(), FC_SCALABLE, FcTrue);
	if (!FcConfigSubstitute(fConfig, pattern.get(), FcMatchPattern))
		return nullptr;
	FcDefaultSubstitute(pattern.get());

	FcResult result = FcResultNoMatch;
	PatternPointer match(FcFontMatch(fConfig, pattern.get(), &result));
	if (match == nullptr)
		return nullptr;

	if (exact) {
		bool found = false;
		FcChar8* matchFamily = nullptr;
		for (int i = 0;
		     FcPatternGetString(match.get(), FC_FAMILY, i, &matchFamily) == FcResultMatch; i++) {
			if (strcasecmp(reinterpret_cast<const char*>(matchFamily), family) == 0) {
				found = true;
				break;
			}
		}
		if (!found)
			return nullptr;
	}

	FcChar8* file = nullptr;
	if (FcPatternGetString(match.get(), FC_FILE, 0, &file) != FcResultMatch)
		return nullptr;
	int index = 0;
	FcPatternGetInteger(match.get(), FC_INDEX, 0, &index);
	return FaceForLocked(reinterpret_cast<const char*>(file), index);
}

std::shared_ptr<const FontFace> FontCatalog::FaceForLocked(const std::string& path, int32 index)
{
	auto key = std::make_pair(path, index);
	auto found = fFaces.find(key);
	if (found != fFaces.end())
		return found->second;
	std::shared_ptr<const FontFace> face = FontFace::Open(fLibrary, path, index);
	if (face != nullptr)
		fFaces.emplace(key, face);
	return face;
}

} // namespace BPrivate
