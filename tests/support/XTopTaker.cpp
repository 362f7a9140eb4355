#include "support/XTopTaker.h"

#include <poll.h>

#include <X11/Xlib.h>

namespace VelmoTest {

XTopTaker::XTopTaker(const std::string& displayName) : fDisplay(XOpenDisplay(displayName.c_str()))
{
	if (fDisplay == nullptr)
		return;
	XSetWindowAttributes attributes = {};
	attributes.override_redirect = True;
	attributes.background_pixel = WhitePixel(fDisplay, DefaultScreen(fDisplay));
	fWindow =
	    XCreateWindow(fDisplay, DefaultRootWindow(fDisplay), 100, 100, 200, 200, 0, CopyFromParent,
	                  InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
	XSelectInput(fDisplay, DefaultRootWindow(fDisplay), SubstructureNotifyMask);
	XMapRaised(fDisplay, fWindow);
	XFlush(fDisplay);
}

XTopTaker::~XTopTaker()
{
	if (fDisplay != nullptr)
		XCloseDisplay(fDisplay);
}

void XTopTaker::Fight(std::chrono::milliseconds period)
{
	const auto end = std::chrono::steady_clock::now() + period;
	while (fDisplay != nullptr && std::chrono::steady_clock::now() < end) {
		pollfd descriptor = {ConnectionNumber(fDisplay), POLLIN, 0};
		if (XPending(fDisplay) == 0 && poll(&descriptor, 1, 50) <= 0)
			continue;
		XEvent event;
		XNextEvent(fDisplay, &event);
		const bool other = (event.type == ConfigureNotify && event.xconfigure.window != fWindow) ||
		                   (event.type == MapNotify && event.xmap.window != fWindow);
		if (!other)
			continue;
		if (event.type == ConfigureNotify)
			fOthersRestacks++;
		XRaiseWindow(fDisplay, fWindow);
		XFlush(fDisplay);
	}
}

} // namespace VelmoTest
