#pragma once

// Deadlines for the waits of the kernel services. All of them are system_time() values.

#include <OS.h>

namespace BPrivate {

// A deadline that never comes: waits for it are untimed.
static const bigtime_t kNoDeadline = B_INFINITE_TIMEOUT;

// The deadline of a wait that starts now. A relative time-out is turned into a deadline here,
// once, so that going round a wait loop never stretches it; an absolute one is taken as it is;
// without a time-out flag the wait has no deadline. Overflow saturates to kNoDeadline.
bigtime_t DeadlineFor(uint32 flags, bigtime_t timeout);

// Whether the flags ask to give up at once when the wait would block: a relative time-out of zero
// or less, or a negative absolute one.
bool IsNonBlocking(uint32 flags, bigtime_t timeout);

// The poll() time-out, in milliseconds, of a wait until `deadline`: rounded up, so that a wait
// never ends before its deadline; -1 for kNoDeadline, 0 once it has passed.
int PollTimeout(bigtime_t deadline);

} // namespace BPrivate
