#include "MessageLines.h"

#include <stdio.h>
#include <string.h>

#include <Autolock.h>
#include <Locker.h>

char msgLine1[kMessageLineSize] = "";
char msgLine2[kMessageLineSize] = "";
std::atomic<port_id> keyQueue{-1};
sem_id quitUIRequested = -1;
sem_id quitInstallerRequested = -1;

// With no deadline, the key wait gives up after this long without any message.
static const bigtime_t kNoKeyLimit = 86400000000LL; // 24 hours
// How long the key wait sleeps before looking again when the key queue cannot be read at all.
static const bigtime_t kDeadQueuePause = 100000; // 0.1 s

// Guards both lines, so that a pair is always published and read whole. Never destroyed: the
// window's thread may still read the lines while the process exits.
static BLocker& LinesLock()
{
	static BLocker* locker = new BLocker("message lines");
	return *locker;
}

void M_ShowMessage(const char* line1, const char* line2)
{
	{
		BAutolock lock(LinesLock());
		// A longer line is cut at 16 characters, the size of the buffers.
		snprintf(msgLine1, sizeof(msgLine1), "%s", line1);
		snprintf(msgLine2, sizeof(msgLine2), "%s", line2);
	}
	printf("\n%s\n%s\n\n", line1, line2);
}

void M_ReadMessage(char* line1, char* line2)
{
	BAutolock lock(LinesLock());
	memcpy(line1, msgLine1, kMessageLineSize);
	memcpy(line2, msgLine2, kMessageLineSize);
}

char M_GetKeypress(const char* validKeys, bigtime_t timeout)
{
	char result = 0;
	bigtime_t start = system_time();
	// When the queue is missing, or gone, every read fails at once. Rather than spin, the wait
	// then sleeps a little before each new try, and the time without a readable queue counts
	// towards the 24 hours, since no message arrives in it either.
	bigtime_t deadSince = -1;
	while (result == 0) {
		bigtime_t now = system_time();
		bigtime_t remaining = timeout != 0 ? start + timeout - now : kNoKeyLimit;
		int32 code;
		char body;
		ssize_t status = read_port_etc(keyQueue.load(), &code, &body, sizeof(body),
		                               B_RELATIVE_TIMEOUT, remaining);
		if (status >= 0) {
			deadSince = -1;
			char key = (char)(code & 0xff);
			for (const char* valid = validKeys; *valid != '\0'; valid++) {
				if (*valid == key) {
					result = key;
					break;
				}
			}
		} else if (status == B_TIMED_OUT) {
			break;
		} else if (status != B_INTERRUPTED) {
			if (deadSince < 0)
				deadSince = now;
			if (timeout != 0)
				remaining = start + timeout - now;
			else
				remaining = deadSince + kNoKeyLimit - now;
			if (remaining <= 0)
				break;
			snooze(remaining < kDeadQueuePause ? remaining : kDeadQueuePause);
		}
	}
	return result;
}

status_t M_WriteKey(char key)
{
	// Never waits: a full queue must not stall the window's thread or the remote-unit thread.
	return write_port_etc(keyQueue.load(), (int32)(int8)key, NULL, 0, B_RELATIVE_TIMEOUT, 0);
}
