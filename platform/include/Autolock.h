#pragma once

// BAutolock: holds a BLocker for the life of a scope. Used by one thread, the one that made it.

#include <Locker.h>

class BAutolock
{
public:
	BAutolock(BLocker* locker) : fLocker(locker), fIsLocked(locker != NULL && locker->Lock()) {}
	BAutolock(BLocker& locker) : fLocker(&locker), fIsLocked(locker.Lock()) {}
	~BAutolock() { Unlock(); }
	BAutolock(const BAutolock&) = delete;
	BAutolock& operator=(const BAutolock&) = delete;

	bool IsLocked() const { return fIsLocked; }

	// Gives the lock back before the end of the scope.
	void Unlock()
	{
		if (fIsLocked)
			fLocker->Unlock();
		fIsLocked = false;
	}

private:
	BLocker* fLocker;
	bool fIsLocked;
};
