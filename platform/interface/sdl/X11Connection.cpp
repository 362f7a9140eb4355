#include "interface/sdl/X11Connection.h"

#include <poll.h>

#include <cerrno>

#include <X11/Xlib.h>

#include "kernel/Time.h"

namespace BPrivate {

X11Connection::X11Connection(_XDisplay* display) : fDisplay(display)
{
	fPreviousHandler = XSetIOErrorHandler(QuietIOError);
	XSetIOErrorExitHandler(fDisplay, NoteLoss, this);
}

X11Connection::~X11Connection()
{
	// A connection that SDL still uses gets Xlib's own exit handler back; after a loss it is left
	// as it is, and after Forget it is gone.
	if (!Lost() && !fForgotten)
		XSetIOErrorExitHandler(fDisplay, nullptr, nullptr);
	XSetIOErrorHandler(fPreviousHandler);
}

int X11Connection::QuietIOError(_XDisplay*)
{
	// Xlib's own handler would print three lines; the exit handler decides what follows.
	return 0;
}

void X11Connection::NoteLoss(_XDisplay*, void* connection)
{
	static_cast<X11Connection*>(connection)->fLost.store(true, std::memory_order_relaxed);
}

void X11Connection::Wait(int wake, bigtime_t deadline)
{
	XFlush(fDisplay);
	if (Lost() || XEventsQueued(fDisplay, QueuedAlready) > 0)
		return;
	pollfd descriptors[2] = {{ConnectionNumber(fDisplay), POLLIN | POLLRDHUP, 0},
	                         {wake, POLLIN, 0}};
	const int timeout = PollTimeout(deadline);
	// A signal cuts the wait short; the caller's next round waits again.
	if (poll(descriptors, 2, timeout) > 0)
		NoteHangUp(descriptors[0].revents);
}

bool X11Connection::LookForHangUp()
{
	if (!Lost()) {
		pollfd descriptor = {ConnectionNumber(fDisplay), POLLIN | POLLRDHUP, 0};
		if (poll(&descriptor, 1, 0) > 0)
			NoteHangUp(descriptor.revents);
	}
	return Lost();
}

void X11Connection::NoteHangUp(short events)
{
	// The server's last events may still be unread; they no longer matter.
	if (events & (POLLRDHUP | POLLHUP | POLLERR))
		fLost.store(true, std::memory_order_relaxed);
}

} // namespace BPrivate
