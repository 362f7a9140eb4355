#include <Path.h>

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <Entry.h>
#include <StorageDefs.h>

#include "kernel/PosixError.h"
#include "storage/EntryRefAccess.h"
#include "storage/PathText.h"
#include "storage/PlatformRoot.h"

namespace {

// The working directory as a BeOS path; false when it lies outside the platform root.
bool BeosWorkingDirectory(std::string* beosPath)
{
	char buffer[B_PATH_NAME_LENGTH * 4];
	if (getcwd(buffer, sizeof(buffer)) == nullptr)
		return false;
	return BPrivate::BeosPathForHostPath(buffer, beosPath);
}

// Normalises `path` and checks that the directory of the entry exists under the platform root.
status_t Normalize(const std::string& path, std::string* normalized)
{
	std::string absolute = path;
	if (path[0] != '/') {
		std::string workingDirectory;
		if (!BeosWorkingDirectory(&workingDirectory))
			return B_ENTRY_NOT_FOUND;
		absolute = workingDirectory + "/" + path;
	}
	*normalized = BPrivate::NormalizePathText(absolute);

	std::string hostDirectory = BPrivate::HostPath(BPrivate::ParentPathText(*normalized).c_str());
	struct stat directoryStat;
	if (stat(hostDirectory.empty() ? "/" : hostDirectory.c_str(), &directoryStat) != 0) {
		if (errno == ENOENT || errno == ENOTDIR)
			return B_ENTRY_NOT_FOUND;
		return BPrivate::PosixError(errno);
	}
	if (!S_ISDIR(directoryStat.st_mode))
		return B_ENTRY_NOT_FOUND;
	return B_OK;
}

} // namespace

BPath::BPath(const char* dir, const char* leaf, bool normalize) : fName(nullptr), fStatus(B_NO_INIT)
{
	if (dir != nullptr || leaf != nullptr)
		SetTo(dir, leaf, normalize);
}

BPath::BPath(const entry_ref* ref) : fName(nullptr), fStatus(B_NO_INIT)
{
	SetTo(ref);
}

BPath::BPath(const BPath& other) : fName(nullptr), fStatus(B_NO_INIT)
{
	*this = other;
}

BPath::~BPath()
{
	free(fName);
}

status_t BPath::InitCheck() const
{
	return fStatus;
}

status_t BPath::SetTo(const char* dir, const char* leaf, bool normalize)
{
	if (dir == nullptr || dir[0] == '\0' || (leaf != nullptr && leaf[0] == '/'))
		return _Set(nullptr, B_BAD_VALUE);

	std::string path = dir;
	if (leaf != nullptr && leaf[0] != '\0') {
		if (path.back() != '/')
			path += '/';
		path += leaf;
	}
	if (normalize || BPrivate::PathNeedsNormalizing(path.c_str())) {
		std::string normalized;
		status_t error = Normalize(path, &normalized);
		if (error != B_OK)
			return _Set(nullptr, error);
		path = normalized;
	}
	if (path.size() >= B_PATH_NAME_LENGTH)
		return _Set(nullptr, B_NAME_TOO_LONG);

	char* text = strdup(path.c_str());
	return _Set(text, text != nullptr ? B_OK : B_NO_MEMORY);
}

status_t BPath::SetTo(const entry_ref* ref)
{
	if (ref == nullptr || ref->name == nullptr)
		return _Set(nullptr, B_BAD_VALUE);
	const char* hostDirectory = BPrivate::EntryRefAccess::HostDirectory(*ref);
	std::string beosDirectory;
	if (hostDirectory == nullptr || !BPrivate::BeosPathForHostPath(hostDirectory, &beosDirectory))
		return _Set(nullptr, B_ENTRY_NOT_FOUND);
	return SetTo(beosDirectory.c_str(), ref->name);
}

status_t BPath::Append(const char* path, bool normalize)
{
	if (fStatus != B_OK)
		return B_BAD_VALUE;
	// SetTo replaces fName: hand it a copy.
	std::string current = fName;
	return SetTo(current.c_str(), path, normalize);
}

void BPath::Unset()
{
	_Set(nullptr, B_NO_INIT);
}

const char* BPath::Path() const
{
	return fName;
}

const char* BPath::Leaf() const
{
	if (fName == nullptr)
		return nullptr;
	return strrchr(fName, '/') + 1;
}

status_t BPath::GetParent(BPath* parent) const
{
	if (parent == nullptr)
		return B_BAD_VALUE;
	if (fStatus != B_OK)
		return B_NO_INIT;
	if (strcmp(fName, "/") == 0)
		return B_ENTRY_NOT_FOUND;
	return parent->SetTo(BPrivate::ParentPathText(fName).c_str());
}

bool BPath::operator==(const BPath& other) const
{
	return *this == other.fName;
}

bool BPath::operator==(const char* path) const
{
	if (fName == nullptr || path == nullptr)
		return fName == path;
	return strcmp(fName, path) == 0;
}

bool BPath::operator!=(const BPath& other) const
{
	return !(*this == other);
}

bool BPath::operator!=(const char* path) const
{
	return !(*this == path);
}

BPath& BPath::operator=(const BPath& other)
{
	if (this == &other)
		return *this;
	if (other.fName == nullptr) {
		_Set(nullptr, other.fStatus);
		return *this;
	}
	char* text = strdup(other.fName);
	_Set(text, text != nullptr ? B_OK : B_NO_MEMORY);
	return *this;
}

BPath& BPath::operator=(const char* path)
{
	if (path == nullptr)
		Unset();
	else
		SetTo(path);
	return *this;
}

status_t BPath::_Set(char* text, status_t error)
{
	free(fName);
	fName = text;
	fStatus = error;
	return error;
}
