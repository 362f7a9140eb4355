#pragma once

// Terminal modes to put back if a signal ends the process: whoever changes a terminal's mode (the
// line discipline's, or a virtual console's display and keyboard modes) registers the mode to
// restore, and the Application Kit's signal handler restores them all.
// Registration is async-signal-safe on the reading side (RestoreTerminalModes may run inside a
// signal handler); Register and Unregister may be called from any thread.

#include <termios.h>

namespace BPrivate {

// Returns a slot for Unregister, or -1 when every slot is taken (then nothing is restored on a
// signal).
int RegisterTerminalMode(int fd, const struct termios& mode);
// A virtual console's display mode (KDSETMODE) and keyboard mode (KDSKBMODE) to put back, and the
// console to switch back to (VT_ACTIVATE) when above 0. Same slots, same Unregister.
int RegisterConsoleMode(int fd, int displayMode, int keyboardMode, int previousConsole = 0);
void UnregisterTerminalMode(int slot);
// Async-signal-safe: tcsetattr, or the console ioctls, for each registered terminal.
void RestoreTerminalModes();

} // namespace BPrivate
