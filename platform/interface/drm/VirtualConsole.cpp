#include "interface/drm/VirtualConsole.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/kd.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <linux/vt.h>

#include <fstream>
#include <sstream>

#include "app/TerminalRestore.h"
#include "support/ControllingTerminal.h"

namespace BPrivate {

namespace {

// Virtual consoles are /dev/tty1 to /dev/tty63: major 4, minors below 64.
const unsigned kTtyMajor = 4;
const unsigned kConsoleCount = 64;

// "ttyN" when the process's controlling terminal is a virtual console, "" otherwise.
std::string ControllingConsole()
{
	std::ifstream file("/proc/self/stat");
	std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
	const dev_t number = ControllingTerminalInStat(stat);
	if (number == 0 || major(number) != kTtyMajor || minor(number) == 0 ||
	    minor(number) >= kConsoleCount)
		return "";
	return "tty" + std::to_string(minor(number));
}

// "ttyN", the console on the screen now, or "" when there are no virtual consoles.
std::string ActiveConsole()
{
	std::ifstream file("/sys/class/tty/tty0/active");
	std::string name;
	file >> name;
	return name;
}

// Consoles from this one up are ours to take: logind starts a login on the ones below whenever
// they are switched to, and a login's start puts its console back into text mode.
const int kOwnConsoleFirst = 7;
// The consoles VT_GETSTATE tells about.
const int kConsolesInState = 16;
// How long a switch of consoles may take.
const int kSwitchPolls = 200;
const useconds_t kSwitchPollInterval = 10000;

// Opens `path` for the console ioctls: for reading and writing, else for writing alone (the
// group tty may only write to consoles).
int OpenConsole(const char* path)
{
	int fd = open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
	if (fd < 0 && errno == EACCES)
		fd = open(path, O_WRONLY | O_NOCTTY | O_CLOEXEC);
	return fd;
}

} // namespace

VirtualConsole::VirtualConsole()
    : fSavedDisplayMode(KD_TEXT), fSavedKeyboardMode(K_XLATE), fRestoreSlot(-1)
{
	std::string name = ControllingConsole();
	if (!name.empty()) {
		fFd = FileDescriptor(OpenConsole("/dev/tty"));
	} else if (!SwitchToOwnConsole(&name)) {
		name = ActiveConsole();
		if (name.empty())
			return;
		fFd = FileDescriptor(OpenConsole(("/dev/" + name).c_str()));
		// The console on the screen, whichever it is.
		if (!fFd.IsValid())
			fFd = FileDescriptor(OpenConsole("/dev/tty0"));
	}
	if (!fFd.IsValid()) {
		fprintf(stderr,
		        "drm: cannot open the console %s (%s): its text may show and keys typed "
		        "reach it\n",
		        name.c_str(), strerror(errno));
		return;
	}
	if (ioctl(fFd.Get(), KDGETMODE, &fSavedDisplayMode) != 0 ||
	    ioctl(fFd.Get(), KDGKBMODE, &fSavedKeyboardMode) != 0) {
		fprintf(stderr, "drm: %s is not a console (%s); left as it is\n", name.c_str(),
		        strerror(errno));
		if (fPreviousConsole > 0)
			ioctl(fFd.Get(), VT_ACTIVATE, fPreviousConsole);
		fPreviousConsole = 0;
		fFd.Reset();
		return;
	}
	// Registered before the change: a signal in between restores what is already there.
	fRestoreSlot = RegisterConsoleMode(fFd.Get(), fSavedDisplayMode, fSavedKeyboardMode,
	                                   fPreviousConsole);
	if (ioctl(fFd.Get(), KDSETMODE, KD_GRAPHICS) != 0 || ioctl(fFd.Get(), KDSKBMODE, K_OFF) != 0) {
		fprintf(stderr,
		        "drm: cannot take the console %s off the screen and keyboard (%s): its "
		        "text may show and keys typed reach it\n",
		        name.c_str(), strerror(errno));
		Restore();
	}
}

// A console of its own, as an X server takes one: the console on the screen may have a getty
// starting on it, which puts it back into text mode whenever it comes to that point (and the
// kernel then hands the screen back to the text console, DRM master or not). Switches to the
// first console from kOwnConsoleFirst that nobody has open and waits for the switch, at most
// kSwitchPolls * kSwitchPollInterval; false when it cannot, and the console is as it was.
bool VirtualConsole::SwitchToOwnConsole(std::string* name)
{
	FileDescriptor control(OpenConsole("/dev/tty0"));
	struct vt_stat state = {};
	if (!control.IsValid() || ioctl(control.Get(), VT_GETSTATE, &state) != 0)
		return false;
	int own = 0;
	for (int console = kOwnConsoleFirst; console < kConsolesInState && own == 0; console++) {
		if ((state.v_state & (1u << console)) == 0)
			own = console;
	}
	if (own == 0)
		return false;
	const std::string ownName = "tty" + std::to_string(own);
	FileDescriptor console(OpenConsole(("/dev/" + ownName).c_str()));
	if (!console.IsValid() || ioctl(console.Get(), VT_ACTIVATE, own) != 0)
		return false;
	for (int poll = 0; poll < kSwitchPolls && ActiveConsole() != ownName; poll++)
		usleep(kSwitchPollInterval);
	if (ActiveConsole() != ownName) {
		ioctl(console.Get(), VT_ACTIVATE, state.v_active);
		return false;
	}
	fPreviousConsole = state.v_active;
	fFd = std::move(console);
	*name = ownName;
	return true;
}

VirtualConsole::~VirtualConsole()
{
	Restore();
}

void VirtualConsole::Restore()
{
	if (!fFd.IsValid())
		return;
	ioctl(fFd.Get(), KDSKBMODE, fSavedKeyboardMode);
	ioctl(fFd.Get(), KDSETMODE, fSavedDisplayMode);
	if (fPreviousConsole > 0)
		ioctl(fFd.Get(), VT_ACTIVATE, fPreviousConsole);
	fPreviousConsole = 0;
	UnregisterTerminalMode(fRestoreSlot);
	fRestoreSlot = -1;
	fFd.Reset();
}

} // namespace BPrivate
