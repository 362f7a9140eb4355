#pragma once

// A seam for tests that need hours to pass: the kernel's clock can be moved forward, in this
// process only. Nothing but tests calls it; a program never does, and its clock is then exactly
// the monotonic clock.

#include <OS.h>

namespace BPrivate {

// Moves system_time() forward by `amount` microseconds (0 or more) for every thread of the
// process, at once. Every wait of the kernel (ports, semaphores, snooze, timed thread waits) that
// is in progress measures its deadline against the new time before this returns: one whose
// deadline has now passed has ended with B_TIMED_OUT (its thread only has to run to return it),
// the others wait on for what is left of their time. Waits of other kits, which the kernel
// cannot wake (polls, their own condition variables), look at the clock again within
// kClockRecheckInterval (Time.h). The clock never moves back. May be called from any thread.
void AdvanceClockForTesting(bigtime_t amount);

} // namespace BPrivate
