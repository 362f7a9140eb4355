#include <Roster.h>

#include <errno.h>
#include <sys/stat.h>

#include <string>

#include <Entry.h>

#include "app/TeamProcess.h"
#include "app/TeamRecords.h"
#include "storage/EntryRefAccess.h"

namespace {

const BRoster kRoster;

// The device and inode of the file `ref` names; false when it names none.
bool ExecutableFor(const entry_ref* ref, dev_t* device, ino_t* inode)
{
	if (ref == nullptr)
		return false;
	std::string hostPath = BPrivate::EntryRefAccess::HostPath(*ref);
	if (hostPath.empty())
		return false;
	struct stat file;
	if (stat(hostPath.c_str(), &file) != 0 || !S_ISREG(file.st_mode))
		return false;
	*device = file.st_dev;
	*inode = file.st_ino;
	return true;
}

} // namespace

const BRoster* be_roster = &kRoster;

BRoster::BRoster() {}

BRoster::~BRoster() {}

bool BRoster::IsRunning(const entry_ref* ref) const
{
	dev_t device;
	ino_t inode;
	if (!ExecutableFor(ref, &device, &inode))
		return false;
	BPrivate::TeamIdentity identity;
	return BPrivate::FindTeamRunning(device, inode, &identity) > 0;
}

bool BRoster::IsRunning(const char*) const
{
	return false;
}

team_id BRoster::TeamFor(const entry_ref* ref) const
{
	dev_t device;
	ino_t inode;
	if (!ExecutableFor(ref, &device, &inode))
		return B_ERROR;
	BPrivate::TeamIdentity identity;
	pid_t pid = BPrivate::FindTeamRunning(device, inode, &identity);
	if (pid <= 0)
		return B_ERROR;
	BPrivate::TeamRecords::Shared().Record(pid, identity);
	return (team_id)pid;
}

team_id BRoster::TeamFor(const char*) const
{
	return B_ERROR;
}
