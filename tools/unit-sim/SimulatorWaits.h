#pragma once

// Small helpers the simulated unit's two halves share.

#include <poll.h>
#include <time.h>

#include <chrono>

#include "unit-sim/StatusReply.h"

namespace UnitSim {

inline int KeyIndex(Key key)
{
	return key == Key::Enter ? 0 : 1;
}

// What poll() may wait until `deadline`, in milliseconds, rounded up and at most a second.
inline int PollMilliseconds(std::chrono::steady_clock::time_point deadline)
{
	auto remaining =
	    std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
	if (remaining.count() <= 0)
		return 0;
	return remaining.count() > 1000 ? 1000 : (int)remaining.count();
}

// Waits with poll() until `deadline` (at most a second), to the microsecond rather than the
// millisecond: the unit's replies keep to their time as a device's would.
inline int PollUntil(struct pollfd* entries, nfds_t count,
                     std::chrono::steady_clock::time_point deadline)
{
	auto remaining = std::chrono::duration_cast<std::chrono::nanoseconds>(
	    deadline - std::chrono::steady_clock::now());
	if (remaining.count() < 0)
		remaining = std::chrono::nanoseconds::zero();
	if (remaining > std::chrono::seconds(1))
		remaining = std::chrono::seconds(1);
	const struct timespec timeout = {(time_t)(remaining.count() / 1000000000),
	                                 (long)(remaining.count() % 1000000000)};
	return ppoll(entries, count, &timeout, nullptr);
}

} // namespace UnitSim
