#include "interface/sdl/X11Connection.h"

#include <poll.h>

#include <cerrno>

#include <SDL_syswm.h>
#include <X11/Xlib.h>

#include "kernel/Time.h"

namespace BPrivate {

std::unique_ptr<X11Connection> X11Connection::ForWindow(SDL_Window* window)
{
	SDL_SysWMinfo info;
	SDL_VERSION(&info.version);
	if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
		return nullptr;
	return std::unique_ptr<X11Connection>(new X11Connection(info.info.x11.display));
}

X11Connection::X11Connection(_XDisplay* display) : fDisplay(display)
{
	fPreviousHandler = XSetIOErrorHandler(QuietIOError);
	XSetIOErrorExitHandler(fDisplay, NoteLoss, this);
}

X11Connection::~X11Connection()
{
	// SDL closes the connection later, at SDL_Quit: a loss found then ends the process as Xlib
	// would. After a loss the connection is left as it is.
	if (!Lost())
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
