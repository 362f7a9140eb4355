#pragma once

// How long the calling thread has waited, runnable, for a processor: the second field of
// /proc/thread-self/schedstat. The unit uses it to tell when its own thread was held back by the
// scheduler (a loaded machine) rather than by the line, since a thread that was not running
// cannot see that time pass. Owned and read by one thread.

#include <chrono>

namespace UnitSim {

class RunQueueClock
{
public:
	// Opens the calling thread's schedstat; Now() is then zero throughout when the kernel does
	// not keep it.
	RunQueueClock();
	~RunQueueClock();

	RunQueueClock(const RunQueueClock&) = delete;
	RunQueueClock& operator=(const RunQueueClock&) = delete;

	// The thread's waiting time so far.
	std::chrono::nanoseconds Now() const;

private:
	int fDescriptor;
};

} // namespace UnitSim
