#pragma once

// What /proc tells about the processes that stand for teams.

#include <sys/types.h>

#include <SupportDefs.h>

namespace BPrivate {

// What makes a process the one that was looked up: the file it runs and when it started. A pid
// taken over by a new process has another start time; a process that has executed another program
// runs another file.
struct TeamIdentity
{
	dev_t device = 0;
	ino_t inode = 0;
	uint64 startTime = 0; // clock ticks since boot, field 22 of /proc/PID/stat

	bool operator==(const TeamIdentity& other) const = default;
};

// The start time of process `pid`. B_BAD_TEAM_ID when there is no such process.
status_t ReadTeamStartTime(pid_t pid, uint64* startTime);

// The device and inode of the executable process `pid` runs. B_BAD_TEAM_ID when there is no such
// process or it no longer has an executable (a zombie), B_PERMISSION_DENIED when it belongs to
// another user.
status_t ReadTeamExecutable(pid_t pid, dev_t* device, ino_t* inode);

// Both of the above, read so that they describe one and the same process.
status_t ReadTeamIdentity(pid_t pid, TeamIdentity* identity);

// The lowest pid of the processes that run the file (device, inode), with its identity; -1 when
// none does. Processes that cannot be inspected are passed over.
pid_t FindTeamRunning(dev_t device, ino_t inode, TeamIdentity* identity);

} // namespace BPrivate
