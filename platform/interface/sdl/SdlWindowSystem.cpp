#include "interface/sdl/SdlWindowSystem.h"

namespace BPrivate {

bool GetWindowSystemInfo(SDL_Window* window, SDL_SYSWM_TYPE subsystem, SDL_SysWMinfo* info)
{
	// SDL fills in only what the version it was told of knows.
	SDL_VERSION(&info->version);
	return SDL_GetWindowWMInfo(window, info) && info->subsystem == subsystem;
}

} // namespace BPrivate
