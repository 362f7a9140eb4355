#pragma once

// BLocker: a lock that one thread may take several times over (each Lock matched by an Unlock).
// Any thread may call any of its operations.

#include <condition_variable>
#include <mutex>

#include <OS.h>

class BLocker
{
public:
	BLocker(const char* name = NULL);
	BLocker(const char* name, bool benaphoreStyle);
	~BLocker();
	BLocker(const BLocker&) = delete;
	BLocker& operator=(const BLocker&) = delete;

	status_t InitCheck() const { return B_OK; }

	bool Lock();
	// `timeout` relative, in microseconds; B_INFINITE_TIMEOUT waits without limit. B_OK, or
	// B_TIMED_OUT when another thread held the lock all that time.
	status_t LockWithTimeout(bigtime_t timeout);
	// Releases one level. Only the holder may call it.
	void Unlock();

	const char* Name() const { return fName; }
	// Whether the calling thread holds the lock.
	bool IsLocked() const;
	// The holder, or B_ERROR when nobody holds it.
	thread_id LockingThread() const;
	// How many times the holder has taken it.
	int32 CountLocks() const;

private:
	char fName[B_OS_NAME_LENGTH];
	mutable std::mutex fMutex;
	std::condition_variable fReleased;
	thread_id fOwner = -1;
	int32 fCount = 0;
};
