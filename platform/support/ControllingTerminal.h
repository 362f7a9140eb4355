#pragma once

// Reading a process's controlling terminal from /proc.

#include <sys/types.h>

#include <string>

namespace BPrivate {

// The controlling terminal named in `stat`, the text of a /proc/PID/stat file, as a device
// number; 0 when the process has none or the text is not such a file.
dev_t ControllingTerminalInStat(const std::string& stat);

} // namespace BPrivate
