#include "kernel/TestClock.h"

#include <assert.h>

#include <mutex>

#include "kernel/Thread.h"
#include "kernel/Time.h"
#include "kernel/WaitQueue.h"

namespace BPrivate {

void AdvanceClockForTesting(bigtime_t amount)
{
	assert(amount >= 0);
	Wakeups wakeups;
	// Moved under the kernel lock: a wait reads the offset under it too before it sleeps, so it
	// either sleeps on the new time already or is in its wait when RecheckDeadlines runs.
	std::lock_guard<std::mutex> lock(KernelLock());
	gClockOffset.fetch_add(amount, std::memory_order_relaxed);
	RecheckDeadlines(wakeups);
}

} // namespace BPrivate
