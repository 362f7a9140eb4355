#include <Locker.h>

#include <assert.h>
#include <stdio.h>

#include <chrono>

#include "kernel/Time.h"

// Longer waits are as good as no limit, and would overflow the clock's nanoseconds.
static const bigtime_t kLongestTimedWait = 100LL * 365 * 24 * 3600 * 1000000;

BLocker::BLocker(const char* name)
{
	snprintf(fName, sizeof(fName), "%s", name != NULL ? name : "some BLocker");
}

BLocker::BLocker(const char* name, bool /*benaphoreStyle*/) : BLocker(name) {}

BLocker::~BLocker()
{
	assert(fCount == 0);
}

bool BLocker::Lock()
{
	return LockWithTimeout(B_INFINITE_TIMEOUT) == B_OK;
}

status_t BLocker::LockWithTimeout(bigtime_t timeout)
{
	thread_id self = find_thread(NULL);
	std::unique_lock<std::mutex> lock(fMutex);
	if (fOwner == self) {
		fCount++;
		return B_OK;
	}
	if (fCount > 0) {
		if (timeout >= kLongestTimedWait) {
			fReleased.wait(lock, [this] { return fCount == 0; });
		} else {
			// The deadline is fixed once, on the kernel's clock, so spurious wake-ups do not
			// stretch the wait and a test that moves the clock shortens it. A wait that times
			// out leaves the count alone: only the holder ever changes it.
			const bigtime_t deadline = system_time() + (timeout > 0 ? timeout : 0);
			while (fCount != 0) {
				const bigtime_t remaining = deadline - system_time();
				if (remaining <= 0)
					return B_TIMED_OUT;
				fReleased.wait_for(lock, std::chrono::microseconds(BPrivate::WaitSlice(remaining)));
			}
		}
	}
	fOwner = self;
	fCount = 1;
	return B_OK;
}

void BLocker::Unlock()
{
	thread_id self = find_thread(NULL);
	std::lock_guard<std::mutex> lock(fMutex);
	assert(fOwner == self && fCount > 0);
	if (fOwner != self || fCount == 0)
		return;
	if (--fCount == 0) {
		fOwner = -1;
		// Under the mutex: once it is released the next holder may destroy the locker.
		fReleased.notify_one();
	}
}

bool BLocker::IsLocked() const
{
	thread_id self = find_thread(NULL);
	std::lock_guard<std::mutex> lock(fMutex);
	return fOwner == self;
}

thread_id BLocker::LockingThread() const
{
	std::lock_guard<std::mutex> lock(fMutex);
	return fCount > 0 ? fOwner : B_ERROR;
}

int32 BLocker::CountLocks() const
{
	std::lock_guard<std::mutex> lock(fMutex);
	return fCount;
}
