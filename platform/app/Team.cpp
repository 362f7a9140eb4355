// kill_team: a team is a process; ending it is SIGKILL to the process (every thread goes with it).

#include <OS.h>

#include <errno.h>
#include <signal.h>
#include <sys/types.h>

#include "app/TeamDescriptor.h"
#include "app/TeamProcess.h"
#include "app/TeamRecords.h"

namespace {

// Whether the process held by the descriptor just opened on `pid` is the one the roster handed
// out. The process read from /proc after the descriptor was opened started before it, so it is
// the process the descriptor holds: a pid is reused only after its process has been reaped.
bool IsRecordedProcess(pid_t pid, const BPrivate::TeamIdentity& recorded)
{
	uint64 startTime;
	if (BPrivate::ReadTeamStartTime(pid, &startTime) != B_OK || startTime != recorded.startTime)
		return false;
	dev_t device;
	ino_t inode;
	status_t error = BPrivate::ReadTeamExecutable(pid, &device, &inode);
	// A process that is already ending has no executable left; its start time still names it.
	if (error == B_BAD_TEAM_ID)
		return true;
	return error == B_OK && device == recorded.device && inode == recorded.inode;
}

} // namespace

status_t kill_team(team_id team)
{
	// 0 and -1 would reach the process group and every process: never let them through.
	if (team <= 0)
		return B_BAD_TEAM_ID;
	pid_t pid = (pid_t)team;

	BPrivate::TeamDescriptor process;
	status_t error = process.Open(pid);
	if (error != B_OK) {
		if (error == B_BAD_TEAM_ID)
			BPrivate::TeamRecords::Shared().Forget(pid);
		return error;
	}

	BPrivate::TeamIdentity recorded;
	if (BPrivate::TeamRecords::Shared().Lookup(pid, &recorded)) {
		// The id came from the roster; afterwards it names a dead process or a stranger.
		BPrivate::TeamRecords::Shared().Forget(pid);
		if (!IsRecordedProcess(pid, recorded))
			return B_BAD_TEAM_ID;
	}
	return process.SendSignal(SIGKILL);
}
