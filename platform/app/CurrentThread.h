#pragma once

// The id the Application Kit gives a thread in LockingThread() and Thread(): the Linux thread id.

#include <unistd.h>

#include <SupportDefs.h>

namespace BPrivate {

inline int32 CurrentThreadId()
{
	return (int32)gettid();
}

} // namespace BPrivate
