#include "interface/FreeTypeLibrary.h"

#include <ft2build.h>
#include FT_FREETYPE_H

namespace BPrivate {

std::shared_ptr<FreeTypeLibrary> FreeTypeLibrary::Create()
{
	FT_Library handle = nullptr;
	if (FT_Init_FreeType(&handle) != 0)
		return nullptr;
	return std::shared_ptr<FreeTypeLibrary>(new FreeTypeLibrary(handle));
}

FreeTypeLibrary::~FreeTypeLibrary()
{
	FT_Done_FreeType(fHandle);
}

} // namespace BPrivate
