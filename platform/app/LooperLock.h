#pragma once

#include <condition_variable>
#include <mutex>

#include <OS.h>

namespace BPrivate {

// A looper's lock: held by one thread at a time, taken again by its holder without blocking
// (each Lock needs its own Unlock). Any thread may call it.
class LooperLock
{
public:
	// `deadline` is a system_time() value (B_INFINITE_TIMEOUT: wait as long as it takes).
	// B_OK, or B_TIMED_OUT when the deadline passed first.
	status_t Lock(bigtime_t deadline = B_INFINITE_TIMEOUT);
	// The calling thread must hold the lock.
	void Unlock();
	// Releases every level the calling thread holds and returns how many there were; Relock
	// takes them back. Used to let another thread in while waiting for it.
	int32 UnlockAll();
	void Relock(int32 count);

	bool IsHeldByCaller() const;
	// -1 when nobody holds it.
	int32 Holder() const;
	int32 Count() const;

private:
	mutable std::mutex fMutex;
	std::condition_variable fReleased;
	int32 fHolder = -1;
	int32 fCount = 0;
};

} // namespace BPrivate
