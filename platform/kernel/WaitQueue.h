#pragma once

// The threads blocked on one kernel object, first come first served, and the batch of wake-ups a
// kernel call hands out.

#include <array>
#include <deque>

#include <OS.h>

namespace BPrivate {

struct ThreadRecord;

// Collects the threads a kernel call wakes and notifies them when it goes out of scope. Declared
// before the kernel lock's guard, it notifies after the lock is released, so a woken thread does
// not run straight into the lock its waker still holds. Thread records are recycled, never
// freed, so a notification that arrives late is at worst a spurious wake-up, which every wait
// loop tolerates. Used by one thread, inside one kernel call.
class Wakeups
{
public:
	Wakeups() = default;
	~Wakeups();
	Wakeups(const Wakeups&) = delete;
	Wakeups& operator=(const Wakeups&) = delete;

	// Ends `thread`'s wait with `status`. The kernel lock must be held; `thread` must no longer
	// be in a wait queue.
	void Add(ThreadRecord* thread, status_t status);

private:
	std::array<ThreadRecord*, 8> fThreads{};
	size_t fCount = 0;
};

// FIFO of the threads blocked on one object. Every operation requires the kernel lock.
class WaitQueue
{
public:
	WaitQueue() = default;
	virtual ~WaitQueue();
	WaitQueue(const WaitQueue&) = delete;
	WaitQueue& operator=(const WaitQueue&) = delete;

	void Append(ThreadRecord* thread);
	bool IsEmpty() const { return fThreads.empty(); }
	size_t Count() const { return fThreads.size(); }
	ThreadRecord* Head() const { return fThreads.empty() ? nullptr : fThreads.front(); }
	auto begin() const { return fThreads.begin(); }
	auto end() const { return fThreads.end(); }

	// Ends the first (or every) waiter's wait with `status`.
	void WakeHead(status_t status, Wakeups& wakeups);
	void WakeAll(status_t status, Wakeups& wakeups);

	// Takes out a waiter that leaves without being woken (time-out, suspension) and lets the
	// object reconsider the waiters behind it.
	void Leave(ThreadRecord* thread, Wakeups& wakeups);

protected:
	// Called after a waiter left without being woken. A semaphore whose first waiter wanted more
	// than the count may now satisfy the next ones.
	virtual void WaiterLeft(Wakeups&) {}

private:
	std::deque<ThreadRecord*> fThreads;
};

} // namespace BPrivate
