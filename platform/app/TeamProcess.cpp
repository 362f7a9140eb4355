#include "app/TeamProcess.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <set>
#include <string>

#include "kernel/PosixError.h"
#include "support/FileDescriptor.h"

namespace BPrivate {

namespace {

struct DirectoryCloser
{
	void operator()(DIR* directory) const { closedir(directory); }
};

using DirectoryHandle = std::unique_ptr<DIR, DirectoryCloser>;

std::string ProcPath(pid_t pid, const char* entry)
{
	return "/proc/" + std::to_string(pid) + "/" + entry;
}

// A missing /proc entry means the process is gone; anything else is reported as it is.
status_t ProcError(int error)
{
	if (error == ENOENT || error == ESRCH)
		return B_BAD_TEAM_ID;
	return PosixError(error);
}

bool ParsePid(const char* name, pid_t* pid)
{
	if (name[0] < '1' || name[0] > '9')
		return false;
	char* end;
	errno = 0;
	long value = strtol(name, &end, 10);
	if (errno != 0 || *end != '\0' || value <= 0 || value > INT32_MAX)
		return false;
	*pid = (pid_t)value;
	return true;
}

} // namespace

status_t ReadTeamStartTime(pid_t pid, uint64* startTime)
{
	int fd;
	do
		fd = open(ProcPath(pid, "stat").c_str(), O_RDONLY | O_CLOEXEC);
	while (fd < 0 && errno == EINTR);
	if (fd < 0)
		return ProcError(errno);
	FileDescriptor file(fd);

	// The whole line fits: the command name is at most 64 bytes, the 50-odd numbers < 1 KiB.
	char buffer[2048];
	ssize_t length;
	do
		length = read(file.Get(), buffer, sizeof(buffer) - 1);
	while (length < 0 && errno == EINTR);
	if (length < 0)
		return ProcError(errno);
	buffer[length] = '\0';

	// "PID (COMMAND) STATE ...": the command may hold spaces and parentheses, so fields are
	// counted from the last ')'. STATE is field 3; the start time is field 22.
	char* field = strrchr(buffer, ')');
	if (field == nullptr)
		return B_BAD_TEAM_ID;
	for (int number = 2; number < 22; number++) {
		field = strchr(field + 1, ' ');
		if (field == nullptr)
			return B_BAD_TEAM_ID;
	}
	char* end;
	unsigned long long value = strtoull(field + 1, &end, 10);
	if (end == field + 1)
		return B_BAD_TEAM_ID;
	*startTime = value;
	return B_OK;
}

status_t ReadTeamExecutable(pid_t pid, dev_t* device, ino_t* inode)
{
	struct stat executable;
	if (stat(ProcPath(pid, "exe").c_str(), &executable) != 0)
		return ProcError(errno);
	*device = executable.st_dev;
	*inode = executable.st_ino;
	return B_OK;
}

status_t ReadTeamIdentity(pid_t pid, TeamIdentity* identity)
{
	// Reading the start time on both sides of the executable proves that the pid did not pass
	// to another process in between.
	uint64 before;
	status_t error = ReadTeamStartTime(pid, &before);
	if (error != B_OK)
		return error;
	TeamIdentity result;
	error = ReadTeamExecutable(pid, &result.device, &result.inode);
	if (error != B_OK)
		return error;
	error = ReadTeamStartTime(pid, &result.startTime);
	if (error != B_OK)
		return error;
	if (result.startTime != before)
		return B_BAD_TEAM_ID;
	*identity = result;
	return B_OK;
}

pid_t FindTeamRunning(dev_t device, ino_t inode, TeamIdentity* identity)
{
	DirectoryHandle proc(opendir("/proc"));
	if (!proc)
		return -1;

	std::set<pid_t> candidates;
	while (struct dirent* entry = readdir(proc.get())) {
		pid_t pid;
		if (!ParsePid(entry->d_name, &pid))
			continue;
		dev_t executableDevice;
		ino_t executableInode;
		if (ReadTeamExecutable(pid, &executableDevice, &executableInode) == B_OK &&
		    executableDevice == device && executableInode == inode)
			candidates.insert(pid);
	}

	// A candidate may have ended since: take the lowest one that still runs the file.
	for (pid_t pid : candidates) {
		TeamIdentity found;
		if (ReadTeamIdentity(pid, &found) == B_OK && found.device == device &&
		    found.inode == inode) {
			*identity = found;
			return pid;
		}
	}
	return -1;
}

} // namespace BPrivate
