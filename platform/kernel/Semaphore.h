#pragma once

// Counting semaphores of the kernel services.

#include <OS.h>

#include "kernel/WaitQueue.h"

namespace BPrivate {

// One semaphore. Guarded by the kernel lock, like everything it holds; lives in the registry of
// Semaphore.cpp from create_sem to delete_sem.
class Semaphore
{
public:
	Semaphore(sem_id id, int32 count, const char* name);

	sem_id Id() const { return fId; }
	const char* Name() const { return fName; }

	// Takes `count` at once if nobody waits before the caller and enough is available.
	bool TryAcquire(int32 count);
	// Adds `count` and hands counts to the waiters in arrival order. A first waiter that wants
	// more than there is holds up the ones behind it.
	void Release(int32 count, Wakeups& wakeups);
	void WakeAllDeleted(Wakeups& wakeups);
	// The count less every count the waiters want: negative while threads wait.
	int32 ReportedCount() const;
	bool CanAdd(int32 count) const { return count <= INT32_MAX - fCount; }

	WaitQueue& Waiters() { return fWaiters; }

private:
	class Queue : public WaitQueue
	{
	public:
		explicit Queue(Semaphore& owner) : fOwner(owner) {}

	protected:
		void WaiterLeft(Wakeups& wakeups) override { fOwner.Grant(wakeups); }

	private:
		Semaphore& fOwner;
	};

	void Grant(Wakeups& wakeups);

	sem_id fId;
	int32 fCount;
	char fName[B_OS_NAME_LENGTH];
	Queue fWaiters;
};

} // namespace BPrivate
