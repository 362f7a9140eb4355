#pragma once

#include <memory>
#include <mutex>

struct FT_LibraryRec_;

namespace BPrivate {

// The process's FreeType library instance. FreeType allows faces of one library to be used from
// several threads at once only if creating and destroying faces is serialised: every
// FT_New_Face and FT_Done_Face happens under Lock(). Each face is shared between the catalogue
// and the fonts using it and keeps the library alive, so the library goes last, whatever order
// the static objects holding fonts are destroyed in.
// Any thread may call it.
class FreeTypeLibrary
{
public:
	// Null when FreeType cannot be initialised.
	static std::shared_ptr<FreeTypeLibrary> Create();
	~FreeTypeLibrary();

	FreeTypeLibrary(const FreeTypeLibrary&) = delete;
	FreeTypeLibrary& operator=(const FreeTypeLibrary&) = delete;

	FT_LibraryRec_* Handle() const { return fHandle; }
	std::mutex& Lock() { return fLock; }

private:
	explicit FreeTypeLibrary(FT_LibraryRec_* handle) : fHandle(handle) {}

	FT_LibraryRec_* const fHandle;
	std::mutex fLock;
};

} // namespace BPrivate
