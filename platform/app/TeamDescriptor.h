#pragma once

// A process descriptor (pidfd): a handle on one process that a reused pid cannot redirect.

#include <sys/types.h>

#include <SupportDefs.h>

namespace BPrivate {

// Owns its descriptor; one thread at a time.
class TeamDescriptor
{
public:
	TeamDescriptor() = default;
	~TeamDescriptor();

	TeamDescriptor(const TeamDescriptor&) = delete;
	TeamDescriptor& operator=(const TeamDescriptor&) = delete;

	// Takes hold of the process `pid` as it is now. B_BAD_TEAM_ID when there is none (or `pid`
	// names a thread other than a process's first).
	status_t Open(pid_t pid);
	// Sends `signalNumber` to the process held, not to whatever has the pid by now.
	// B_BAD_TEAM_ID when it has been reaped, B_PERMISSION_DENIED when it is not ours to signal.
	status_t SendSignal(int signalNumber) const;

private:
	int fFd = -1;
};

} // namespace BPrivate
