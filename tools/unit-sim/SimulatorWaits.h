#pragma once

// Small helpers the simulated unit's two halves share.

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

} // namespace UnitSim
