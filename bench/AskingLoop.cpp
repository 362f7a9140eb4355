// The least a program can do to ask on the remote unit: the reference VelmoReset's own CPU use
// while asking is measured against. It speaks the unit's protocol as VelmoReset's remote-unit
// thread does, with plain POSIX calls and nothing else: every pass writes the LCD text command
// (33 bytes) and the poll byte, one write call per byte; reads the reply a byte at a time out of
// what it read ahead, each read waiting at most 10 ms counted from when the written bytes have
// left the line at 57600 bit/s; then pauses 20 ms. The first reply is read until a read times out,
// which gives the reply's length, as the program learns it. Before each poll it drops whatever
// input is waiting (one tcflush call), so that a reply its unit sent after the read time-out is
// not read as the next poll's: in step, the loop's passes wait for their replies as the
// program's do (which looks at the waiting input before each poll with one call of its own).
// Without it, each late reply would leave the loop one reply further behind for good, its
// passes no longer waiting and its reads taking several replies at once: cheaper, and no
// longer the same work. Runs until SIGTERM or SIGINT.
//
//     VelmoAskingLoop DEVICE LINE1 LINE2
//
// Prints nothing while it runs; on a failed open or a lost device it says so on standard error
// and ends with status 1.

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace {

const uint8_t kPollByte = 0x90;
const uint8_t kLcdTextCommand = 0xF2;
const size_t kReplyBufferSize = 50;
const int64_t kReadTimeoutNs = 10'000'000;
const int64_t kPassPauseNs = 20'000'000;
// 10 bit times at 57600 bit/s, rounded up to the microsecond as the program's port rounds it.
const int64_t kCharacterNs = 174'000;

volatile sig_atomic_t gStop = 0;

void RequestStop(int)
{
	gStop = 1;
}

int64_t Now()
{
	struct timespec now;
	clock_gettime(CLOCK_MONOTONIC, &now);
	return int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// The unit's line: its descriptor, what was read ahead, and when the bytes written so far have
// left it.
struct Line
{
	int descriptor = -1;
	uint8_t input[256];
	size_t inputStart = 0;
	size_t inputEnd = 0;
	int64_t freeAt = 0;
	bool lost = false;
};

// Waits for `events` until `deadline` (nanoseconds of CLOCK_MONOTONIC); the revents, 0 on time-out.
short WaitFor(const Line& line, short events, int64_t deadline)
{
	for (;;) {
		const int64_t left = deadline - Now();
		struct pollfd entry = {line.descriptor, events, 0};
		const int result = poll(&entry, 1, left <= 0 ? 0 : int((left + 999'999) / 1'000'000));
		if (result > 0)
			return entry.revents;
		if (result == 0 && Now() >= deadline)
			return 0;
		if (result < 0 && errno != EINTR)
			return POLLERR;
		if (gStop)
			return 0;
	}
}

// One byte, one write call.
void Send(Line& line, uint8_t byte)
{
	for (;;) {
		const ssize_t written = write(line.descriptor, &byte, 1);
		if (written == 1)
			break;
		if (written < 0 && errno == EINTR)
			continue;
		if (written < 0 && errno == EAGAIN &&
		    (WaitFor(line, POLLOUT, Now() + 1'000'000'000) & POLLOUT) != 0)
			continue;
		line.lost = true;
		return;
	}
	const int64_t now = Now();
	line.freeAt = (line.freeAt > now ? line.freeAt : now) + kCharacterNs;
}

// One reply byte, from what was read ahead or else from the line, waiting at most the read
// time-out after the written bytes have left the line. False on time-out.
bool Receive(Line& line, uint8_t* byte)
{
	if (line.inputStart == line.inputEnd) {
		const int64_t now = Now();
		const int64_t deadline = (line.freeAt > now ? line.freeAt : now) + kReadTimeoutNs;
		for (;;) {
			const ssize_t length = read(line.descriptor, line.input, sizeof(line.input));
			if (length > 0) {
				line.inputStart = 0;
				line.inputEnd = size_t(length);
				break;
			}
			if (length < 0 && errno == EINTR)
				continue;
			if (length < 0 && errno == EAGAIN) {
				const short events = WaitFor(line, POLLIN, deadline);
				if (events == 0)
					return false;
				if ((events & POLLIN) != 0)
					continue;
			}
			line.lost = true;
			return false;
		}
	}
	*byte = line.input[line.inputStart++];
	return true;
}

bool OpenLine(const char* path, Line* line)
{
	line->descriptor = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
	if (line->descriptor < 0)
		return false;
	struct termios settings;
	if (tcgetattr(line->descriptor, &settings) != 0)
		return false;
	cfmakeraw(&settings);
	settings.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
	settings.c_cflag |= CLOCAL | CREAD | CS8;
	settings.c_iflag &= ~(IXON | IXOFF | IXANY);
	cfsetispeed(&settings, B57600);
	cfsetospeed(&settings, B57600);
	return tcsetattr(line->descriptor, TCSANOW, &settings) == 0;
}

} // namespace

int main(int argc, char** argv)
{
	if (argc != 4) {
		fprintf(stderr, "usage: VelmoAskingLoop DEVICE LINE1 LINE2\n");
		return 2;
	}
	struct sigaction action = {};
	action.sa_handler = RequestStop;
	sigaction(SIGTERM, &action, nullptr);
	sigaction(SIGINT, &action, nullptr);

	Line line;
	if (!OpenLine(argv[1], &line)) {
		fprintf(stderr, "VelmoAskingLoop: cannot open %s: %s\n", argv[1], strerror(errno));
		return 1;
	}
	char text[33];
	snprintf(text, sizeof(text), "%-16.16s%-16.16s", argv[2], argv[3]);

	size_t replySize = kReplyBufferSize;
	uint8_t reply[kReplyBufferSize];
	const struct timespec pause = {0, kPassPauseNs};
	while (!gStop && !line.lost) {
		Send(line, kLcdTextCommand);
		for (size_t index = 0; index < 32; index++)
			Send(line, uint8_t(text[index]));
		line.inputStart = line.inputEnd = 0;
		tcflush(line.descriptor, TCIFLUSH);
		Send(line, kPollByte);
		size_t count = 0;
		while (count < replySize && Receive(line, &reply[count]))
			count++;
		// A good reply shorter than expected gives the unit's length.
		unsigned sum = 0;
		for (size_t index = 0; index < count; index++)
			sum += reply[index];
		if (count > 0 && count < replySize && reply[0] == kPollByte && (sum & 0x7f) == 0)
			replySize = count;
		nanosleep(&pause, nullptr);
	}
	if (line.lost) {
		fprintf(stderr, "VelmoAskingLoop: the line went away\n");
		return 1;
	}
	close(line.descriptor);
	return 0;
}
