#pragma once

// entry_ref: a reference to a file-system entry by the directory it lives in and its name. The
// entry itself need not exist; its directory must have existed when the reference was made.

#include <SupportDefs.h>

namespace BPrivate {
struct EntryRefAccess;
}

struct entry_ref
{
	entry_ref();
	// A reference made by hand carries no host location: the roster cannot find its file.
	entry_ref(dev_t device, ino_t directory, const char* name);
	entry_ref(const entry_ref& other);
	~entry_ref();

	// Replaces the name (a copy is taken); NULL leaves no name. B_NO_MEMORY if the copy fails.
	status_t set_name(const char* name);

	// Equal when device, directory and name are.
	bool operator==(const entry_ref& other) const;
	bool operator!=(const entry_ref& other) const;
	entry_ref& operator=(const entry_ref& other);

	dev_t device;
	ino_t directory;
	char* name;

private:
	friend struct BPrivate::EntryRefAccess;

	// Linux cannot open a directory by its inode number, so a reference made from a path keeps
	// the host path of its directory to find the entry again. Not part of the comparison.
	char* fHostDirectory;
};

// Fills `ref` for the BeOS path `path` (absolute paths lie under the platform root). The entry may
// be missing as long as its directory exists. B_BAD_VALUE for NULL arguments or an empty path,
// B_ENTRY_NOT_FOUND when the directory does not exist, B_NAME_TOO_LONG for an overlong name.
status_t get_ref_for_path(const char* path, entry_ref* ref);
