#pragma once

#include <mutex>

namespace BPrivate {

// SDL_image sets its codecs up on first use through unguarded static state, so every decode and
// encode in the process (images read here, PNG snapshots of framebuffers) runs under this lock.
// Images are read and written rarely and never on a path that must be fast.
std::mutex& ImageCodecLock();

} // namespace BPrivate
