#include "interface/WakeEvent.h"

#include <errno.h>
#include <poll.h>
#include <stdint.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cassert>

#include "kernel/Time.h"

namespace BPrivate {

WakeEvent::WakeEvent() : fFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
	assert(fFd.IsValid());
}

void WakeEvent::Signal()
{
	const uint64_t one = 1;
	ssize_t written;
	do
		written = write(fFd.Get(), &one, sizeof(one));
	while (written < 0 && errno == EINTR);
	// EAGAIN: the counter is full, so a wake-up is pending anyway.
}

short WakeEvent::Wait(int other, bigtime_t deadline)
{
	struct pollfd descriptors[2] = {};
	descriptors[0].fd = fFd.Get();
	descriptors[0].events = POLLIN;
	descriptors[1].fd = other;
	descriptors[1].events = POLLIN;
	const nfds_t count = other >= 0 ? 2 : 1;
	int ready;
	do
		ready = poll(descriptors, count, PollTimeout(deadline));
	while (ready < 0 && errno == EINTR);
	if (ready <= 0)
		return 0;

	// Drained after the wait, never before it: a Signal() between the caller's last look at its
	// queue and this wait must end the wait.
	if ((descriptors[0].revents & POLLIN) != 0) {
		uint64_t value;
		ssize_t result;
		do
			result = read(fFd.Get(), &value, sizeof(value));
		while (result < 0 && errno == EINTR);
	}
	return count == 2 ? descriptors[1].revents : 0;
}

} // namespace BPrivate
