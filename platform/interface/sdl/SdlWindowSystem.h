#pragma once

#include <SDL.h>
#include <SDL_syswm.h>

namespace BPrivate {

// What SDL says of the window system under `window` (SDL_GetWindowWMInfo), asked in one place:
// true, with *info filled in, when `window` is a window of `subsystem` (X11, Wayland).
// Main thread only, like every SDL video call.
bool GetWindowSystemInfo(SDL_Window* window, SDL_SYSWM_TYPE subsystem, SDL_SysWMinfo* info);

} // namespace BPrivate
