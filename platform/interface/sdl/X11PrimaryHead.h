#pragma once

#include <SDL.h>

struct _XDisplay;

namespace BPrivate {

// Where the primary head of an X screen is, in root window coordinates.
//
// SDL 2.26 lists one display for each RandR output, the primary output first. A screen can have
// more heads than outputs: RandR 1.5 monitors, which a user or a session defines over parts of
// one output (a wide screen driven as two, say), and which the window managers and desktops place
// their windows by. The server lists a monitor for each output by itself and marks the primary
// one, so the primary monitor is the primary head in both cases.
//
// Main thread only (SDL's connection).
class X11PrimaryHead
{
public:
	// The primary monitor's bounds, or the first monitor's when none is primary. False when the
	// server has no RandR 1.5 or lists no monitor: SDL's first display is the best guess then.
	static bool Find(_XDisplay* display, SDL_Rect* bounds);
};

} // namespace BPrivate
