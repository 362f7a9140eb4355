#include "unit-sim/PseudoTerminal.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

namespace UnitSim {

namespace {

bool MakeRaw(int descriptor)
{
	struct termios attributes;
	if (tcgetattr(descriptor, &attributes) != 0)
		return false;
	cfmakeraw(&attributes);
	attributes.c_cflag |= CLOCAL | CREAD;
	attributes.c_cc[VMIN] = 0;
	attributes.c_cc[VTIME] = 0;
	cfsetispeed(&attributes, B57600);
	cfsetospeed(&attributes, B57600);
	return tcsetattr(descriptor, TCSANOW, &attributes) == 0;
}

} // namespace

PseudoTerminal::PseudoTerminal() : fMaster(-1), fSlave(-1) {}

PseudoTerminal::~PseudoTerminal()
{
	Close();
}

bool PseudoTerminal::Open(std::string* error)
{
	Close();
	int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
	if (master < 0) {
		*error = std::string("posix_openpt: ") + strerror(errno);
		return false;
	}
	char slavePath[128];
	if (grantpt(master) != 0 || unlockpt(master) != 0 ||
	    ptsname_r(master, slavePath, sizeof(slavePath)) != 0) {
		*error = std::string("pseudo-terminal set-up: ") + strerror(errno);
		close(master);
		return false;
	}
	int slave = open(slavePath, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
	if (slave < 0) {
		*error = std::string("open ") + slavePath + ": " + strerror(errno);
		close(master);
		return false;
	}
	// Raw on both sides until the program sets the line up itself: nothing echoed or translated.
	if (!MakeRaw(master) || !MakeRaw(slave)) {
		*error = std::string("raw mode: ") + strerror(errno);
		close(slave);
		close(master);
		return false;
	}
	int flags = fcntl(master, F_GETFL);
	fcntl(master, F_SETFL, flags | O_NONBLOCK);
	fMaster = master;
	fSlave = slave;
	fSlavePath = slavePath;
	return true;
}

void PseudoTerminal::Close()
{
	if (fSlave >= 0)
		close(fSlave);
	if (fMaster >= 0)
		close(fMaster);
	fSlave = -1;
	fMaster = -1;
}

} // namespace UnitSim
