// The status-reply path of the remote bus (GetReply, KeyPressed through RB_GetKeypress), fed with
// arbitrary bytes from the unit over a real pseudo-terminal: the module's `port` is the slave side,
// found by RB_Init through the platform root's dev/ports/serial1; the fuzzer plays the unit on the
// master side.
//
// Input: a sequence of polls. Each poll takes one length byte L (0..127) and the next L bytes (or
// what is left), which the unit sends before the poll is made. Bytes a poll does not read stay on
// the line for the next one, as on the real link.
//
// The read time-out is set to 0 after RB_Init: before each poll the fuzzer waits until every byte
// it sent is in the slave's input queue, so a read that finds nothing is exactly the real
// time-out at the end of a reply, without its 10 ms.

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "remoteBus.h"

namespace {

// The most bytes left queued on the slave side; the line discipline holds 4096.
const int kMaxQueued = 3000;

int sMaster = -1;
int sHeldSlave = -1;

[[noreturn]] void Fail(const char* what)
{
	fprintf(stderr, "StatusReplyFuzzer: %s (errno %d)\n", what, errno);
	abort();
}

int QueuedOnSlave()
{
	int queued = 0;
	if (ioctl(sHeldSlave, FIONREAD, &queued) != 0)
		Fail("FIONREAD on the slave failed");
	return queued;
}

// Sends `length` bytes as the unit and waits until all of them can be read on the slave side.
void SendAsUnit(const uint8_t* data, size_t length)
{
	int expected = QueuedOnSlave() + (int)length;
	size_t written = 0;
	while (written < length) {
		ssize_t result = write(sMaster, data + written, length - written);
		if (result < 0 && errno == EINTR)
			continue;
		if (result <= 0)
			Fail("writing to the master failed");
		written += (size_t)result;
	}
	// The pty hands bytes over through a kernel work queue; a few milliseconds at most.
	for (int attempt = 0; QueuedOnSlave() != expected; attempt++) {
		if (attempt > 200000)
			Fail("bytes sent to the master never reached the slave whole");
		if (QueuedOnSlave() > expected)
			Fail("more bytes on the slave than were sent");
		struct timespec pause = {0, 1000};
		nanosleep(&pause, nullptr);
	}
}

// Throws away what the module wrote (the poll bytes).
void DrainMaster()
{
	uint8_t buffer[512];
	while (read(sMaster, buffer, sizeof(buffer)) > 0) {
	}
}

void CheckState(int32 previousSize, char key)
{
	if (packetSize < 1 || packetSize > kPacketBufferSize)
		Fail("packetSize left 1..50");
	if (packetSize > previousSize)
		Fail("packetSize went up");
	if (key != 0 && key != '\n' && key != '\\')
		Fail("a key that is not in the key table");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
	// The module prints a line for every rejected reply.
	int devNull = open("/dev/null", O_WRONLY);
	if (devNull < 0 || dup2(devNull, STDOUT_FILENO) < 0)
		Fail("cannot silence stdout");
	close(devNull);

	sMaster = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
	if (sMaster < 0 || grantpt(sMaster) != 0 || unlockpt(sMaster) != 0)
		Fail("no pseudo-terminal");
	const char* slavePath = ptsname(sMaster);
	if (slavePath == nullptr)
		Fail("ptsname failed");
	// Held open so that the pair stays up and its input queue can be measured.
	sHeldSlave = open(slavePath, O_RDWR | O_NOCTTY | O_NONBLOCK);
	if (sHeldSlave < 0)
		Fail("cannot open the slave");

	char rootTemplate[] = "/tmp/velmo-fuzz-status-XXXXXX";
	if (mkdtemp(rootTemplate) == nullptr)
		Fail("mkdtemp failed");
	std::string root = rootTemplate;
	if (mkdir((root + "/dev").c_str(), 0755) != 0 ||
	    mkdir((root + "/dev/ports").c_str(), 0755) != 0 ||
	    symlink(slavePath, (root + "/dev/ports/serial1").c_str()) != 0)
		Fail("cannot make the platform root");
	setenv("BEOS_ROOT", root.c_str(), 1);

	RB_Init();
	if (pollByte != 0x90 || packetSize != kPacketBufferSize)
		Fail("RB_Init did not open the pseudo-terminal");
	port.SetTimeout(0);
	// The symbolic link has done its work; the directories go when the process ends.
	unlink((root + "/dev/ports/serial1").c_str());
	rmdir((root + "/dev/ports").c_str());
	rmdir((root + "/dev").c_str());
	rmdir(root.c_str());
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	// Every input starts on a quiet line with a freshly initialised module.
	tcflush(sHeldSlave, TCIFLUSH);
	DrainMaster();
	InitDisplay();

	size_t offset = 0;
	while (offset < size) {
		size_t length = data[offset++] & 0x7f;
		if (length > size - offset)
			length = size - offset;
		if (QueuedOnSlave() + (int)length <= kMaxQueued)
			SendAsUnit(data + offset, length);
		offset += length;

		int32 previousSize = packetSize;
		char key = RB_GetKeypress();
		CheckState(previousSize, key);
		DrainMaster();
	}
	return 0;
}
