#include "kernel/Semaphore.h"

#include <stdio.h>

#include <memory>
#include <mutex>
#include <unordered_map>

#include "kernel/Thread.h"
#include "kernel/Time.h"

namespace BPrivate {

Semaphore::Semaphore(sem_id id, int32 count, const char* name)
    : fId(id), fCount(count), fWaiters(*this)
{
	snprintf(fName, sizeof(fName), "%s", name != nullptr ? name : "unnamed semaphore");
}

bool Semaphore::TryAcquire(int32 count)
{
	if (!fWaiters.IsEmpty() || fCount < count)
		return false;
	fCount -= count;
	return true;
}

void Semaphore::Release(int32 count, Wakeups& wakeups)
{
	fCount += count;
	Grant(wakeups);
}

void Semaphore::Grant(Wakeups& wakeups)
{
	// The count is taken here, on the waiter's behalf: a waiter woken with B_OK owns it even if
	// it runs only later, and one that times out was never given any.
	while (!fWaiters.IsEmpty() && fCount >= fWaiters.Head()->wantedCount) {
		fCount -= fWaiters.Head()->wantedCount;
		fWaiters.WakeHead(B_OK, wakeups);
	}
}

void Semaphore::WakeAllDeleted(Wakeups& wakeups)
{
	fWaiters.WakeAll(B_BAD_SEM_ID, wakeups);
}

int32 Semaphore::ReportedCount() const
{
	int64 count = fCount;
	for (const ThreadRecord* waiter : fWaiters)
		count -= waiter->wantedCount;
	return count < INT32_MIN ? INT32_MIN : (int32)count;
}

namespace {

// Leaked with the kernel lock that guards it (see KernelLock).
struct SemaphoreRegistry
{
	std::unordered_map<sem_id, std::unique_ptr<Semaphore>> semaphores;
	sem_id lastId = 0;
};

SemaphoreRegistry& Registry()
{
	static SemaphoreRegistry* registry = new SemaphoreRegistry;
	return *registry;
}

// Kernel lock held.
Semaphore* FindSemaphore(sem_id id)
{
	auto found = Registry().semaphores.find(id);
	return found == Registry().semaphores.end() ? nullptr : found->second.get();
}

} // namespace

} // namespace BPrivate

using namespace BPrivate;

sem_id create_sem(int32 count, const char* name)
{
	if (count < 0)
		return B_BAD_VALUE;
	CheckSuspension();
	std::lock_guard<std::mutex> lock(KernelLock());
	SemaphoreRegistry& registry = Registry();
	// Ids only grow: a stale id never names a newer semaphore.
	if (registry.lastId == INT32_MAX)
		return B_NO_MORE_SEMS;
	sem_id id = ++registry.lastId;
	registry.semaphores[id] = std::make_unique<Semaphore>(id, count, name);
	return id;
}

status_t delete_sem(sem_id sem)
{
	CheckSuspension();
	Wakeups wakeups;
	std::lock_guard<std::mutex> lock(KernelLock());
	Semaphore* semaphore = FindSemaphore(sem);
	if (semaphore == nullptr)
		return B_BAD_SEM_ID;
	semaphore->WakeAllDeleted(wakeups);
	Registry().semaphores.erase(sem);
	return B_OK;
}

status_t acquire_sem(sem_id sem)
{
	return acquire_sem_etc(sem, 1, 0, 0);
}

status_t acquire_sem_etc(sem_id sem, int32 count, uint32 flags, bigtime_t timeout)
{
	bigtime_t deadline = DeadlineFor(flags, timeout);
	CheckSuspension();
	ThreadRecord* self = CurrentThread();
	std::unique_lock<std::mutex> lock(KernelLock());
	Semaphore* semaphore = FindSemaphore(sem);
	if (semaphore == nullptr)
		return B_BAD_SEM_ID;
	if (count < 1)
		return B_BAD_VALUE;
	if (semaphore->TryAcquire(count))
		return B_OK;
	if (IsNonBlocking(flags, timeout))
		return B_WOULD_BLOCK;
	// B_CAN_INTERRUPT asks for an end on signals; signals never interrupt these waits, only
	// suspension does, so the flag changes nothing.
	self->wantedCount = count;
	return Block(lock, self, &semaphore->Waiters(), deadline);
}

status_t release_sem(sem_id sem)
{
	return release_sem_etc(sem, 1, 0);
}

status_t release_sem_etc(sem_id sem, int32 count, uint32 /*flags*/)
{
	CheckSuspension();
	Wakeups wakeups;
	std::lock_guard<std::mutex> lock(KernelLock());
	Semaphore* semaphore = FindSemaphore(sem);
	if (semaphore == nullptr)
		return B_BAD_SEM_ID;
	if (count < 1 || !semaphore->CanAdd(count))
		return B_BAD_VALUE;
	semaphore->Release(count, wakeups);
	return B_OK;
}

status_t get_sem_count(sem_id sem, int32* threadCount)
{
	if (threadCount == nullptr)
		return B_BAD_VALUE;
	std::lock_guard<std::mutex> lock(KernelLock());
	Semaphore* semaphore = FindSemaphore(sem);
	if (semaphore == nullptr)
		return B_BAD_SEM_ID;
	*threadCount = semaphore->ReportedCount();
	return B_OK;
}
