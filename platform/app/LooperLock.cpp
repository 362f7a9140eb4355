#include "app/LooperLock.h"

#include <cassert>
#include <chrono>

#include "app/CurrentThread.h"
#include "kernel/Time.h"

namespace BPrivate {

status_t LooperLock::Lock(bigtime_t deadline)
{
	const int32 self = CurrentThreadId();
	std::unique_lock<std::mutex> lock(fMutex);
	if (fHolder == self) {
		fCount++;
		return B_OK;
	}
	while (fHolder != -1) {
		if (deadline == B_INFINITE_TIMEOUT) {
			fReleased.wait(lock);
			continue;
		}
		bigtime_t remaining = deadline - system_time();
		if (remaining <= 0)
			return B_TIMED_OUT;
		fReleased.wait_for(lock, std::chrono::microseconds(WaitSlice(remaining)));
	}
	fHolder = self;
	fCount = 1;
	return B_OK;
}

void LooperLock::Unlock()
{
	std::lock_guard<std::mutex> lock(fMutex);
	assert(fHolder == CurrentThreadId() && fCount > 0);
	if (--fCount == 0) {
		fHolder = -1;
		fReleased.notify_one();
	}
}

int32 LooperLock::UnlockAll()
{
	std::lock_guard<std::mutex> lock(fMutex);
	if (fHolder != CurrentThreadId())
		return 0;
	int32 count = fCount;
	fCount = 0;
	fHolder = -1;
	fReleased.notify_one();
	return count;
}

void LooperLock::Relock(int32 count)
{
	if (count <= 0)
		return;
	Lock();
	std::lock_guard<std::mutex> lock(fMutex);
	fCount = count;
}

bool LooperLock::IsHeldByCaller() const
{
	std::lock_guard<std::mutex> lock(fMutex);
	return fHolder == CurrentThreadId();
}

int32 LooperLock::Holder() const
{
	std::lock_guard<std::mutex> lock(fMutex);
	return fHolder;
}

int32 LooperLock::Count() const
{
	std::lock_guard<std::mutex> lock(fMutex);
	return fCount;
}

} // namespace BPrivate
