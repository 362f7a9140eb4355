#include <Entry.h>

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <StorageDefs.h>

#include "kernel/PosixError.h"
#include "storage/EntryRefAccess.h"
#include "storage/PathText.h"
#include "storage/PlatformRoot.h"

namespace {

// strdup that keeps NULL as NULL.
char* CopyText(const char* text)
{
	return text != nullptr ? strdup(text) : nullptr;
}

bool SameText(const char* a, const char* b)
{
	if (a == nullptr || b == nullptr)
		return a == b;
	return strcmp(a, b) == 0;
}

// The working directory of the process on the host, or "" when it cannot be read.
std::string WorkingDirectory()
{
	char buffer[B_PATH_NAME_LENGTH * 4];
	if (getcwd(buffer, sizeof(buffer)) == nullptr)
		return std::string();
	return buffer;
}

} // namespace

entry_ref::entry_ref() : device(-1), directory(-1), name(nullptr), fHostDirectory(nullptr) {}

entry_ref::entry_ref(dev_t refDevice, ino_t refDirectory, const char* refName)
    : device(refDevice), directory(refDirectory), name(CopyText(refName)), fHostDirectory(nullptr)
{
}

entry_ref::entry_ref(const entry_ref& other)
    : device(other.device), directory(other.directory), name(CopyText(other.name)),
      fHostDirectory(CopyText(other.fHostDirectory))
{
}

entry_ref::~entry_ref()
{
	free(name);
	free(fHostDirectory);
}

status_t entry_ref::set_name(const char* newName)
{
	char* copy = CopyText(newName);
	if (newName != nullptr && copy == nullptr)
		return B_NO_MEMORY;
	free(name);
	name = copy;
	return B_OK;
}

bool entry_ref::operator==(const entry_ref& other) const
{
	return device == other.device && directory == other.directory && SameText(name, other.name);
}

bool entry_ref::operator!=(const entry_ref& other) const
{
	return !(*this == other);
}

entry_ref& entry_ref::operator=(const entry_ref& other)
{
	if (this == &other)
		return *this;
	device = other.device;
	directory = other.directory;
	set_name(other.name);
	BPrivate::EntryRefAccess::SetHostDirectory(*this, other.fHostDirectory);
	return *this;
}

namespace BPrivate {

bool EntryRefAccess::SetHostDirectory(entry_ref& ref, const char* hostDirectory)
{
	char* copy = CopyText(hostDirectory);
	free(ref.fHostDirectory);
	ref.fHostDirectory = copy;
	return hostDirectory == nullptr || copy != nullptr;
}

std::string EntryRefAccess::HostPath(const entry_ref& ref)
{
	if (ref.fHostDirectory == nullptr || ref.name == nullptr)
		return std::string();
	std::string path = ref.fHostDirectory;
	if (strcmp(ref.name, ".") == 0)
		return path;
	if (path.empty() || path.back() != '/')
		path += '/';
	return path + ref.name;
}

} // namespace BPrivate

status_t get_ref_for_path(const char* path, entry_ref* ref)
{
	if (path == nullptr || ref == nullptr || path[0] == '\0')
		return B_BAD_VALUE;
	if (strlen(path) >= B_PATH_NAME_LENGTH)
		return B_NAME_TOO_LONG;

	// An absolute path is normalised as a BeOS path first, so that ".." cannot climb out of the
	// platform root; a relative one is relative to the host's working directory.
	std::string hostDirectory;
	std::string leaf;
	if (path[0] == '/') {
		std::string beosPath = BPrivate::NormalizePathText(path);
		leaf = BPrivate::LeafText(beosPath);
		hostDirectory = BPrivate::HostPath(BPrivate::ParentPathText(beosPath).c_str());
		if (hostDirectory.empty())
			hostDirectory = "/";
	} else {
		std::string workingDirectory = WorkingDirectory();
		if (workingDirectory.empty())
			return B_ENTRY_NOT_FOUND;
		std::string hostPath = BPrivate::NormalizePathText(workingDirectory + "/" + path);
		leaf = BPrivate::LeafText(hostPath);
		hostDirectory = BPrivate::ParentPathText(hostPath);
	}
	// The root names itself as "." in itself.
	if (leaf.empty())
		leaf = ".";
	if (leaf.size() >= B_FILE_NAME_LENGTH)
		return B_NAME_TOO_LONG;

	struct stat directoryStat;
	if (stat(hostDirectory.c_str(), &directoryStat) != 0) {
		if (errno == ENOENT || errno == ENOTDIR)
			return B_ENTRY_NOT_FOUND;
		return BPrivate::PosixError(errno);
	}
	if (!S_ISDIR(directoryStat.st_mode))
		return B_ENTRY_NOT_FOUND;

	entry_ref result(directoryStat.st_dev, directoryStat.st_ino, leaf.c_str());
	if (result.name == nullptr ||
	    !BPrivate::EntryRefAccess::SetHostDirectory(result, hostDirectory.c_str()))
		return B_NO_MEMORY;
	*ref = result;
	return ref->name != nullptr ? B_OK : B_NO_MEMORY;
}
