#pragma once

#include <memory>

#include <SDL.h>

struct wl_display;

namespace BPrivate {

// SDL's connection to the Wayland compositor, as the SDL display watches it for its loss (the
// compositor killed, say). SDL 2.26 notices a loss only by failing to read events, then queues an
// SDL_QUIT and goes on calling the dead connection; the display instead looks at the socket itself
// after every round of SDL calls and stops touching SDL at once when it is gone (see SdlDisplay).
// This never reads from the connection: SDL does.
//
// Main thread only, like every SDL video call.
class WaylandConnection
{
public:
	// The connection `window` is on; null when it is not a Wayland window.
	static std::unique_ptr<WaylandConnection> ForWindow(SDL_Window* window);

	WaylandConnection(const WaylandConnection&) = delete;
	WaylandConnection& operator=(const WaylandConnection&) = delete;

	bool Lost() const { return fLost; }
	// Looks, without waiting and without reading, whether the compositor has closed the
	// connection or libwayland has found it broken, and counts it lost then.
	bool LookForHangUp();

private:
	explicit WaylandConnection(wl_display* display) : fDisplay(display) {}

	wl_display* const fDisplay;
	bool fLost = false;
};

} // namespace BPrivate
