#pragma once

// Terminals the system itself uses, which must never carry the remote unit's bytes.

#include <string>

namespace BPrivate {

// Why the serial device at `path` is not to be taken for the remote unit although it may open:
// "the system console" when the kernel writes its console there, "a login runs on it" when a
// getty waits or someone is logged in there (the login records in /run/utmp), or it is the
// controlling terminal of a process this one can see. nullptr when the system leaves it free,
// or when `path` names no terminal device at all.
const char* SystemUseOf(const std::string& path);

} // namespace BPrivate
