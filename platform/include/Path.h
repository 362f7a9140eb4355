#pragma once

// BPath: an absolute BeOS path, held as text.

#include <SupportDefs.h>

struct entry_ref;

// A BPath is a value: one thread at a time may use a given object.
class BPath
{
public:
	// `dir` with `leaf` appended (the leaf must be relative). Without `normalize` the text is kept
	// as given unless it must be normalised: a relative path, "." or ".." components, duplicate
	// or trailing slashes. Normalising resolves those in the text (no symbolic links) and
	// requires the entry's directory to exist under the platform root. No `dir` at all gives an
	// uninitialised path (B_NO_INIT).
	BPath(const char* dir = NULL, const char* leaf = NULL, bool normalize = false);
	// The path of the entry `ref` names; B_BAD_VALUE for NULL.
	BPath(const entry_ref* ref);
	BPath(const BPath& other);
	virtual ~BPath();

	// B_OK, B_NO_INIT when never set, or the error of the last SetTo.
	status_t InitCheck() const;

	status_t SetTo(const char* dir, const char* leaf = NULL, bool normalize = false);
	status_t SetTo(const entry_ref* ref);
	// Appends the relative `path` to this one; B_BAD_VALUE when this path is not initialised.
	status_t Append(const char* path, bool normalize = false);
	void Unset();

	// The path text, or NULL when not initialised.
	const char* Path() const;
	// The last component ("" for "/"), or NULL when not initialised.
	const char* Leaf() const;
	// The directory holding this entry. B_BAD_VALUE for NULL, B_NO_INIT when not initialised,
	// B_ENTRY_NOT_FOUND for "/".
	status_t GetParent(BPath* parent) const;

	// Equal when both hold the same text, or both are uninitialised.
	bool operator==(const BPath& other) const;
	bool operator==(const char* path) const;
	bool operator!=(const BPath& other) const;
	bool operator!=(const char* path) const;
	BPath& operator=(const BPath& other);
	BPath& operator=(const char* path);

private:
	status_t _Set(char* text, status_t error);

	char* fName;
	status_t fStatus;
};
