#pragma once

#include <memory>

#include <OS.h>
#include <Rect.h>

namespace BPrivate {

class Framebuffer;

// What a display needs of a window (BWindow implements it).
class DisplayClient {
public:
	virtual ~DisplayClient() = default;

	// The content area in screen coordinates, inclusive.
	virtual BRect DisplayFrame() const = 0;
	virtual const char* DisplayTitle() const = 0;
	// Lives as long as the client does.
	virtual Framebuffer& DisplayFramebuffer() = 0;
	// A key typed while this window had the keyboard: one UTF-8 character (1 to 4 bytes) or one
	// BeOS key byte (B_ENTER, B_ESCAPE, ...). Called on the display's thread; must return at once.
	virtual void DisplayKeyDown(const char* bytes, int32 numBytes) = 0;
	// The window is on the display now, its pixels on the screen (the headless display: taken
	// in, shown nowhere). Called once, by the thread that put it there; must return at once.
	virtual void DisplayShown() {}
};

// Shows windows and hears their keyboard. One backend is chosen at start-up (CreateDisplay): an X
// or Wayland screen through SDL2, the console's own screen through kernel mode setting (drm/), or
// a headless display whose framebuffers are shown nowhere (but can be saved as PNG files) and
// whose keyboard is the terminal on standard input.
//
// Threads: Dispatch runs on the main thread only, the one in BApplication::Run; every other
// operation may be called from any thread and only queues work for Dispatch, waking it.
class Display {
public:
	virtual ~Display() = default;

	virtual void AddClient(DisplayClient* client) = 0;
	// Main thread only; once it returns the display no longer touches the client.
	virtual void RemoveClient(DisplayClient* client) = 0;
	// The client's framebuffer has new damage to show.
	virtual void Invalidate(DisplayClient* client) = 0;
	// Hides the mouse pointer over every window of this display, from the moment each appears.
	virtual void HideCursor() = 0;
	virtual void ShowCursor() = 0;
	// Makes a Dispatch that is waiting return soon.
	virtual void Wake() = 0;

	// Shows what was invalidated, handles the backend's events (keys go to the client that has
	// the keyboard), then waits for more, at most until `deadline` (system_time() clock;
	// B_INFINITE_TIMEOUT for no limit) or until Wake(). Returns after one round.
	virtual void Dispatch(bigtime_t deadline) = 0;

	// The name of the backend ("headless", "sdl:x11", ...), for logs and tests.
	virtual const char* Name() const = 0;
};

// Chooses the backend, in one place (DisplaySelect.cpp): SDL for an X display or a Wayland
// compositor named in the environment (or the driver named in SDL_VIDEODRIVER), else the
// console's own screen when a graphics card can be taken, else the headless display (at once
// when BEOS_DISPLAY=headless). Called on the main thread.
std::unique_ptr<Display> CreateDisplay();

} // namespace BPrivate
