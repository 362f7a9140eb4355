#include "interface/sdl/WaylandConnection.h"

#include <poll.h>

#include <wayland-client.h>

#include "interface/sdl/SdlWindowSystem.h"

namespace BPrivate {

std::unique_ptr<WaylandConnection> WaylandConnection::ForWindow(SDL_Window* window)
{
	SDL_SysWMinfo info;
	if (!GetWindowSystemInfo(window, SDL_SYSWM_WAYLAND, &info) || info.info.wl.display == nullptr)
		return nullptr;
	return std::unique_ptr<WaylandConnection>(new WaylandConnection(info.info.wl.display));
}

bool WaylandConnection::LookForHangUp()
{
	if (fLost)
		return true;
	// What SDL has already read: a protocol error, or the end of the stream.
	if (wl_display_get_error(fDisplay) != 0) {
		fLost = true;
		return true;
	}
	// The compositor's last events may still be unread; they no longer matter.
	pollfd descriptor = {wl_display_get_fd(fDisplay), POLLRDHUP, 0};
	if (poll(&descriptor, 1, 0) > 0 && (descriptor.revents & (POLLRDHUP | POLLHUP | POLLERR)))
		fLost = true;
	return fLost;
}

} // namespace BPrivate
