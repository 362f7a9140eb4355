#pragma once

// Deadlines for the waits of the kernel services. All of them are system_time() values.

#include <atomic>

#include <OS.h>

namespace BPrivate {

// A deadline that never comes: waits for it are untimed.
static const bigtime_t kNoDeadline = B_INFINITE_TIMEOUT;

// How far tests have moved the clock (TestClock.h): system_time() is the monotonic clock plus
// this. Always 0 in a program. Only AdvanceClockForTesting changes it, with the kernel lock held.
extern std::atomic<bigtime_t> gClockOffset;

inline bigtime_t ClockOffset()
{
	return gClockOffset.load(std::memory_order_relaxed);
}

// Once a test has moved the clock, the longest a wait the kernel cannot wake sleeps before it
// looks at system_time() again.
static const bigtime_t kClockRecheckInterval = 10000; // 10 ms

// How much of `remaining` (microseconds, more than 0) a wait that the test clock cannot wake (a
// poll, a condition variable of another kit) may sleep at once before it measures its deadline
// again: all of it, unless a test has moved the clock.
inline bigtime_t WaitSlice(bigtime_t remaining)
{
	return ClockOffset() != 0 && remaining > kClockRecheckInterval ? kClockRecheckInterval
	                                                               : remaining;
}

// The deadline of a wait that starts now. A relative time-out is turned into a deadline here,
// once, so that going round a wait loop never stretches it; an absolute one is taken as it is;
// without a time-out flag the wait has no deadline. Overflow saturates to kNoDeadline.
bigtime_t DeadlineFor(uint32 flags, bigtime_t timeout);

// Whether the flags ask to give up at once when the wait would block: a relative time-out of zero
// or less, or a negative absolute one.
bool IsNonBlocking(uint32 flags, bigtime_t timeout);

// The poll() time-out, in milliseconds, of a wait until `deadline`: rounded up, so that a wait
// never ends before its deadline; -1 for kNoDeadline, 0 once it has passed. Cut to WaitSlice
// once a test has moved the clock: a poll returning early must then look at its deadline again.
int PollTimeout(bigtime_t deadline);

} // namespace BPrivate
