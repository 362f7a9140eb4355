#include "interface/drm/VirtualConsole.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/kd.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>

#include <fstream>
#include <sstream>

#include "app/TerminalRestore.h"

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
	// The command name, in parentheses, may hold spaces: the fields are counted after it.
	const size_t end = stat.rfind(')');
	if (end == std::string::npos)
		return "";
	std::istringstream fields(stat.substr(end + 1));
	std::string state, parent, group, session;
	unsigned long device = 0;
	if (!(fields >> state >> parent >> group >> session >> device))
		return "";
	const dev_t number = static_cast<dev_t>(device);
	if (device == 0 || major(number) != kTtyMajor || minor(number) == 0 ||
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
	} else {
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
		fFd.Reset();
		return;
	}
	// Registered before the change: a signal in between restores what is already there.
	fRestoreSlot = RegisterConsoleMode(fFd.Get(), fSavedDisplayMode, fSavedKeyboardMode);
	if (ioctl(fFd.Get(), KDSETMODE, KD_GRAPHICS) != 0 || ioctl(fFd.Get(), KDSKBMODE, K_OFF) != 0) {
		fprintf(stderr,
		        "drm: cannot take the console %s off the screen and keyboard (%s): its "
		        "text may show and keys typed reach it\n",
		        name.c_str(), strerror(errno));
		Restore();
	}
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
	UnregisterTerminalMode(fRestoreSlot);
	fRestoreSlot = -1;
	fFd.Reset();
}

} // namespace BPrivate
