#include "device/SerialOpen.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <Errors.h>

#include "kernel/PosixError.h"

namespace BPrivate {

status_t OpenSerialDevice(const std::string& path, int* descriptor)
{
	int opened;
	do {
		opened = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
	} while (opened < 0 && errno == EINTR);
	if (opened < 0)
		return PosixError(errno);
	// Success is a value above 0: never hand out descriptor 0, even with stdin closed.
	if (opened == 0) {
		int moved = fcntl(opened, F_DUPFD_CLOEXEC, 1);
		int error = errno;
		close(opened);
		if (moved < 0)
			return PosixError(error);
		opened = moved;
	}

	// flock keeps out every other opener, in this process or another; TIOCEXCL keeps out openers
	// that do not take the lock (but not root).
	int lockResult;
	do {
		lockResult = flock(opened, LOCK_EX | LOCK_NB);
	} while (lockResult != 0 && errno == EINTR);
	if (lockResult != 0) {
		int error = errno;
		close(opened);
		return error == EWOULDBLOCK ? B_BUSY : PosixError(error);
	}
	ioctl(opened, TIOCEXCL);
	RequestLowLatency(opened);
	*descriptor = opened;
	return B_OK;
}

bool RequestLowLatency(int descriptor)
{
	struct serial_struct info = {};
	if (ioctl(descriptor, TIOCGSERIAL, &info) != 0)
		return false;
	if ((info.flags & ASYNC_LOW_LATENCY) != 0)
		return true;
	info.flags |= ASYNC_LOW_LATENCY;
	return ioctl(descriptor, TIOCSSERIAL, &info) == 0;
}

} // namespace BPrivate
