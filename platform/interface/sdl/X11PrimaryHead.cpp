#include "interface/sdl/X11PrimaryHead.h"

#include <memory>

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

namespace BPrivate {

namespace {

struct MonitorsDeleter
{
	void operator()(XRRMonitorInfo* monitors) const { XRRFreeMonitors(monitors); }
};

} // namespace

bool X11PrimaryHead::Find(_XDisplay* display, SDL_Rect* bounds)
{
	int eventBase, errorBase;
	if (!XRRQueryExtension(display, &eventBase, &errorBase))
		return false;
	// Asking a server older than 1.5 for its monitors is a protocol error, which Xlib's default
	// handler turns into an exit.
	int major = 0, minor = 0;
	if (!XRRQueryVersion(display, &major, &minor) || major < 1 || (major == 1 && minor < 5))
		return false;
	int count = 0;
	const std::unique_ptr<XRRMonitorInfo, MonitorsDeleter> monitors(
	    XRRGetMonitors(display, DefaultRootWindow(display), True, &count));
	if (!monitors || count <= 0)
		return false;
	const XRRMonitorInfo* chosen = &monitors.get()[0];
	for (int index = 0; index < count; index++) {
		if (monitors.get()[index].primary) {
			chosen = &monitors.get()[index];
			break;
		}
	}
	*bounds = {chosen->x, chosen->y, chosen->width, chosen->height};
	return true;
}

} // namespace BPrivate
