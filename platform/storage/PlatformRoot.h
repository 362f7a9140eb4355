#pragma once

#include <string>

namespace BPrivate {

// The directory under which every absolute BeOS path (/boot/..., /dev/ports) is found on this
// machine: $BEOS_ROOT when set and not empty, else the root compiled in. Never ends in '/', so the
// root "/" is returned as "".
std::string PlatformRoot();

// The host path of a BeOS path. An absolute path is placed under the platform root; a relative
// one is returned unchanged (it is relative to the working directory, as on BeOS).
std::string HostPath(const char* beosPath);

} // namespace BPrivate
