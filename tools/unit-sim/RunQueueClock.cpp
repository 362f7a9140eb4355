#include "unit-sim/RunQueueClock.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace UnitSim {

RunQueueClock::RunQueueClock()
{
	do {
		fDescriptor = open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
	} while (fDescriptor < 0 && errno == EINTR);
}

RunQueueClock::~RunQueueClock()
{
	if (fDescriptor >= 0)
		close(fDescriptor);
}

std::chrono::nanoseconds RunQueueClock::Now() const
{
	if (fDescriptor < 0)
		return std::chrono::nanoseconds::zero();
	// "<time on a processor> <time waiting for one> <slices>", in nanoseconds; the file is made
	// anew at each read from its start.
	char text[96];
	ssize_t length;
	do {
		length = pread(fDescriptor, text, sizeof(text) - 1, 0);
	} while (length < 0 && errno == EINTR);
	if (length <= 0)
		return std::chrono::nanoseconds::zero();
	text[length] = '\0';
	char* end = nullptr;
	strtoull(text, &end, 10);
	if (end == text)
		return std::chrono::nanoseconds::zero();
	return std::chrono::nanoseconds(strtoull(end, nullptr, 10));
}

} // namespace UnitSim
