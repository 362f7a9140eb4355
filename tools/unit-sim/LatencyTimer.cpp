#include "unit-sim/LatencyTimer.h"

namespace UnitSim {

LatencyTimer::LatencyTimer(Clock::duration period) : fPeriod(period), fEpoch(Clock::now())
{
}

void LatencyTimer::Hold(const uint8_t* bytes, size_t count, Clock::time_point arrival)
{
	const Clock::time_point due = _TickAtOrAfter(arrival);
	for (size_t index = 0; index < count; index++)
		fHeld.push_back({due, bytes[index]});
}

std::vector<uint8_t> LatencyTimer::TakeDue(Clock::time_point now)
{
	std::vector<uint8_t> due;
	while (!fHeld.empty() && fHeld.front().due <= now) {
		due.push_back(fHeld.front().byte);
		fHeld.pop_front();
	}
	return due;
}

LatencyTimer::Clock::time_point LatencyTimer::NextDue() const
{
	return fHeld.empty() ? Clock::time_point::max() : fHeld.front().due;
}

LatencyTimer::Clock::time_point LatencyTimer::_TickAtOrAfter(Clock::time_point time) const
{
	if (!IsOn() || time <= fEpoch)
		return time;
	const Clock::duration since = time - fEpoch;
	const auto ticks = (since + fPeriod - Clock::duration(1)) / fPeriod;
	return fEpoch + ticks * fPeriod;
}

} // namespace UnitSim
