#include "support/PtyPair.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

namespace VelmoTest {

namespace {

int MillisecondsUntil(PtyPair::Clock::time_point deadline)
{
	auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - PtyPair::Clock::now());
	return remaining.count() > 0 ? (int)remaining.count() : 0;
}

} // namespace

PtyPair::PtyPair() : fMaster(-1), fSlave(-1)
{
	fMaster = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
	char path[128];
	if (fMaster < 0 || grantpt(fMaster) != 0 || unlockpt(fMaster) != 0 ||
	    ptsname_r(fMaster, path, sizeof(path)) != 0) {
		if (fMaster >= 0)
			close(fMaster);
		throw std::runtime_error(std::string("no pseudo-terminal: ") + strerror(errno));
	}
	fSlavePath = path;
	fSlave = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
	if (fSlave < 0) {
		close(fMaster);
		throw std::runtime_error(std::string("cannot open ") + path + ": " + strerror(errno));
	}
	// The master side carries bytes unchanged whatever the slave's settings are.
	struct termios attributes;
	if (tcgetattr(fMaster, &attributes) == 0) {
		cfmakeraw(&attributes);
		tcsetattr(fMaster, TCSANOW, &attributes);
	}
}

PtyPair::~PtyPair()
{
	HangUp();
}

void PtyPair::LinkInto(const std::string& root, const std::string& name) const
{
	std::filesystem::create_directories(root + "/dev/ports");
	std::filesystem::create_symlink(fSlavePath, root + "/dev/ports/" + name);
}

void PtyPair::Send(const std::vector<uint8_t>& bytes) const
{
	size_t sent = 0;
	Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
	while (sent < bytes.size()) {
		ssize_t length = write(fMaster, bytes.data() + sent, bytes.size() - sent);
		if (length > 0) {
			sent += length;
		} else if (length < 0 && (errno == EAGAIN || errno == EINTR) && Clock::now() < deadline) {
			struct pollfd entry = {fMaster, POLLOUT, 0};
			poll(&entry, 1, MillisecondsUntil(deadline));
		} else {
			throw std::runtime_error(std::string("pty write: ") + strerror(errno));
		}
	}
}

bool PtyPair::WaitUntilSlaveReadable(Clock::duration timeout) const
{
	struct pollfd entry = {fSlave, POLLIN, 0};
	return poll(&entry, 1, MillisecondsUntil(Clock::now() + timeout)) == 1;
}

std::vector<uint8_t> PtyPair::Receive(size_t count, Clock::duration timeout) const
{
	std::vector<uint8_t> bytes;
	Clock::time_point deadline = Clock::now() + timeout;
	while (bytes.size() < count) {
		uint8_t buffer[256];
		size_t wanted =
		    count - bytes.size() < sizeof(buffer) ? count - bytes.size() : sizeof(buffer);
		ssize_t length = read(fMaster, buffer, wanted);
		if (length > 0) {
			bytes.insert(bytes.end(), buffer, buffer + length);
			continue;
		}
		if (length < 0 && errno != EAGAIN && errno != EINTR)
			break;
		struct pollfd entry = {fMaster, POLLIN, 0};
		if (poll(&entry, 1, MillisecondsUntil(deadline)) <= 0)
			break;
	}
	return bytes;
}

std::vector<uint8_t> PtyPair::Drain() const
{
	return Receive(SIZE_MAX, std::chrono::milliseconds(50));
}

void PtyPair::HangUp()
{
	if (fSlave >= 0)
		close(fSlave);
	if (fMaster >= 0)
		close(fMaster);
	fSlave = -1;
	fMaster = -1;
}

} // namespace VelmoTest
