#include "kernel/Time.h"

#include <limits.h>
#include <time.h>

#include "kernel/Thread.h"

namespace BPrivate {

std::atomic<bigtime_t> gClockOffset{0};

bigtime_t DeadlineFor(uint32 flags, bigtime_t timeout)
{
	if ((flags & B_RELATIVE_TIMEOUT) != 0) {
		if (timeout <= 0)
			return system_time();
		bigtime_t now = system_time();
		if (timeout >= kNoDeadline - now)
			return kNoDeadline;
		return now + timeout;
	}
	if ((flags & B_ABSOLUTE_TIMEOUT) != 0)
		return timeout;
	return kNoDeadline;
}

bool IsNonBlocking(uint32 flags, bigtime_t timeout)
{
	if ((flags & B_RELATIVE_TIMEOUT) != 0)
		return timeout <= 0;
	if ((flags & B_ABSOLUTE_TIMEOUT) != 0)
		return timeout < 0;
	return false;
}

int PollTimeout(bigtime_t deadline)
{
	if (deadline == kNoDeadline)
		return -1;
	bigtime_t remaining = deadline - system_time();
	if (remaining <= 0)
		return 0;
	bigtime_t milliseconds = (WaitSlice(remaining) + 999) / 1000;
	return milliseconds > INT_MAX ? INT_MAX : (int)milliseconds;
}

} // namespace BPrivate

using namespace BPrivate;

bigtime_t system_time(void)
{
	// CLOCK_MONOTONIC, never the wall clock: setting the clock must neither stretch nor cut a
	// time-out. std::chrono::steady_clock, which the waits use, runs on the same clock. A test
	// may have moved this clock ahead of it (TestClock.h); in a program the offset is 0.
	struct timespec now;
	clock_gettime(CLOCK_MONOTONIC, &now);
	return (bigtime_t)now.tv_sec * 1000000 + now.tv_nsec / 1000 + ClockOffset();
}

status_t snooze_until(bigtime_t time, int timeBase)
{
	if (timeBase != B_SYSTEM_TIMEBASE)
		return B_BAD_VALUE;
	CheckSuspension();
	if (time <= system_time())
		return B_OK;
	status_t status = SleepUntil(time);
	return status == B_TIMED_OUT ? B_OK : status;
}

status_t snooze(bigtime_t microseconds)
{
	if (microseconds <= 0) {
		CheckSuspension();
		return B_OK;
	}
	return snooze_until(DeadlineFor(B_RELATIVE_TIMEOUT, microseconds), B_SYSTEM_TIMEBASE);
}
