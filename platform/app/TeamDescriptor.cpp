#include "app/TeamDescriptor.h"

#include <errno.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "kernel/PosixError.h"

// glibc 2.36 has pidfd_open and pidfd_send_signal, but its <sys/pidfd.h> is not usable from C++
// (no extern "C"): the system calls are made directly.

namespace BPrivate {

namespace {

status_t TeamError(int error)
{
	// ESRCH: no such process. pidfd_open on the id of a thread that is not a process's first:
	// EINVAL on older kernels, ENOENT on newer ones.
	if (error == ESRCH || error == EINVAL || error == ENOENT)
		return B_BAD_TEAM_ID;
	return PosixError(error);
}

} // namespace

TeamDescriptor::~TeamDescriptor()
{
	if (fFd >= 0)
		close(fFd);
}

status_t TeamDescriptor::Open(pid_t pid)
{
	if (pid <= 0)
		return B_BAD_TEAM_ID;
	if (fFd >= 0) {
		close(fFd);
		fFd = -1;
	}
	long fd;
	do
		fd = syscall(SYS_pidfd_open, pid, 0);
	while (fd < 0 && errno == EINTR);
	if (fd < 0)
		return TeamError(errno);
	fFd = (int)fd;
	return B_OK;
}

status_t TeamDescriptor::SendSignal(int signalNumber) const
{
	if (fFd < 0)
		return B_NO_INIT;
	long result;
	do
		result = syscall(SYS_pidfd_send_signal, fFd, signalNumber, nullptr, 0);
	while (result < 0 && errno == EINTR);
	return result == 0 ? B_OK : TeamError(errno);
}

} // namespace BPrivate
