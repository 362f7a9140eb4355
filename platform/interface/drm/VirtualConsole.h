#pragma once

#include <string>

#include "support/FileDescriptor.h"

namespace BPrivate {

// The text console beneath a screen the process drives itself, kept out of the way while this
// object lives: in graphics mode (neither the login prompt nor kernel messages draw over the
// screen) and with its keyboard off (keys typed at the program never reach the login or shell
// beneath). Both modes come back when it is destroyed, and on SIGINT, SIGTERM and SIGHUP (see
// TerminalRestore).
//
// The console is the process's controlling terminal when that is a virtual console, otherwise one
// of its own that it switches to (and back from when it ends), as an X server does, or, where it
// cannot switch, the one on the screen now. Changing its modes takes that console as controlling terminal, or
// CAP_SYS_TTY_CONFIG; where it cannot be opened or changed, one line on standard error says so
// and the console stays as it is. Main thread only.
class VirtualConsole
{
public:
	VirtualConsole();
	~VirtualConsole();

	VirtualConsole(const VirtualConsole&) = delete;
	VirtualConsole& operator=(const VirtualConsole&) = delete;

private:
	bool SwitchToOwnConsole(std::string* name);
	void Restore();

	FileDescriptor fFd;
	int fSavedDisplayMode;
	int fSavedKeyboardMode;
	int fRestoreSlot;
	// The console to switch back to, or 0 when none was switched from.
	int fPreviousConsole = 0;
};

} // namespace BPrivate
