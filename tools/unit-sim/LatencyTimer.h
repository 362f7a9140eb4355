#pragma once

// The latency timer of a USB serial adapter, on the unit's side of the simulated line.

#include <stddef.h>
#include <stdint.h>

#include <chrono>
#include <deque>
#include <vector>

namespace UnitSim {

// A USB serial adapter does not hand each received byte over at once: it collects them and
// delivers what it has when its latency timer runs out (16 ms on the usual ones). A reply is then
// late by up to a period, and one that spans a tick comes in two pieces a period apart. Ticks
// fall every period from the timer's creation. Used by the unit's thread alone.
class LatencyTimer
{
public:
	typedef std::chrono::steady_clock Clock;

	// A zero period hands every byte over at once.
	explicit LatencyTimer(Clock::duration period);

	bool IsOn() const { return fPeriod > Clock::duration::zero(); }
	// Bytes that reached the adapter at `arrival`.
	void Hold(const uint8_t* bytes, size_t count, Clock::time_point arrival);
	// The held bytes whose tick has come by `now`, in order, no longer held.
	std::vector<uint8_t> TakeDue(Clock::time_point now);
	// When the oldest held byte is due; Clock::time_point::max() when none is held.
	Clock::time_point NextDue() const;
	void Clear() { fHeld.clear(); }

private:
	Clock::time_point _TickAtOrAfter(Clock::time_point time) const;

	const Clock::duration fPeriod;
	const Clock::time_point fEpoch;
	struct HeldByte
	{
		Clock::time_point due;
		uint8_t byte;
	};
	std::deque<HeldByte> fHeld;
};

} // namespace UnitSim
