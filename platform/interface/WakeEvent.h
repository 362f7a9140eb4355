#pragma once

#include <OS.h>

#include "support/FileDescriptor.h"

namespace BPrivate {

// What ends a display's wait from another thread: an event descriptor polled beside the
// display's own input. Signal from any thread; Wait on the display's thread only.
class WakeEvent
{
public:
	WakeEvent();

	void Signal();
	// Waits until Signal() is called (or was, since the last wait), `other` (when 0 or more) has
	// something to read or hangs up, or `deadline` (system_time() clock) comes. Returns `other`'s
	// poll events, 0 when it had none.
	short Wait(int other, bigtime_t deadline);

private:
	FileDescriptor fFd;
};

} // namespace BPrivate
