#include "interface/headless/TerminalKeyboard.h"

#include <errno.h>
#include <poll.h>
#include <unistd.h>

#include "app/TerminalRestore.h"

namespace BPrivate {

TerminalKeyboard::TerminalKeyboard(int fd)
    : fFd(fd), fActive(false), fModeChanged(false), fSavedMode(), fRestoreSlot(-1)
{
	if (!isatty(fd) || tcgetattr(fd, &fSavedMode) != 0)
		return;
	fActive = true;

	struct termios raw = fSavedMode;
	// Keys as they are typed: no line editing, no echo, CR stays CR. ISIG stays on, so Ctrl-C
	// still raises SIGINT (whose handler puts this mode back). Output processing is left as it
	// was: the program's lines end in "\n" alone.
	raw.c_lflag &= ~(ICANON | ECHO | ECHONL | IEXTEN);
	raw.c_iflag &= ~(ICRNL | INLCR | IGNCR | IXON | ISTRIP);
	raw.c_cc[VMIN] = 1;
	raw.c_cc[VTIME] = 0;
	// Registered before the change: a signal between the two restores a mode that is already
	// right, which is harmless.
	fRestoreSlot = RegisterTerminalMode(fd, fSavedMode);
	int result;
	do
		result = tcsetattr(fd, TCSANOW, &raw);
	while (result != 0 && errno == EINTR);
	fModeChanged = result == 0;
}

TerminalKeyboard::~TerminalKeyboard()
{
	if (fModeChanged) {
		int result;
		do
			result = tcsetattr(fFd, TCSANOW, &fSavedMode);
		while (result != 0 && errno == EINTR);
	}
	UnregisterTerminalMode(fRestoreSlot);
}

void TerminalKeyboard::HandlePoll(short revents, std::vector<TerminalKey>* keys)
{
	if (!fActive)
		return;
	if ((revents & POLLNVAL) != 0) {
		fActive = false;
		return;
	}
	if ((revents & (POLLIN | POLLHUP | POLLERR)) == 0)
		return;

	char buffer[256];
	ssize_t count;
	do
		count = read(fFd, buffer, sizeof(buffer));
	while (count < 0 && errno == EINTR);
	if (count > 0) {
		fDecoder.Feed(buffer, (size_t)count, keys);
		fDecoder.EndOfRead(keys);
		return;
	}
	if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
		return;
	// End of file, or the terminal hung up (EIO): polling it again would only spin.
	fActive = false;
}

} // namespace BPrivate
