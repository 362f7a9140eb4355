#pragma once

#include <memory>

#include "interface/Display.h"

namespace BPrivate {

// A display on a real screen through SDL2, or null when SDL has no real video driver here (it
// would fall back to its offscreen or dummy driver by itself). A driver named explicitly in
// SDL_VIDEODRIVER is honoured, dummy included. Called on the main thread.
std::unique_ptr<Display> CreateSdlDisplay();

} // namespace BPrivate
