#pragma once

// The two channels of the dialogue: the message lines, which the installer writes and the screen
// and the remote unit show, and the key queue, into which the keyboard and the remote unit write
// and from which the installer reads.

#include <atomic>

#include <OS.h>

static const int32 kMessageLineSize = 17; // 16 characters and the terminating NUL

// The lines last published, both empty at start. Guarded: read them with M_ReadMessage, which
// copies the pair in one step, so no reader ever sees a half-written pair.
extern char msgLine1[kMessageLineSize];
extern char msgLine2[kMessageLineSize];

// The port "KeyQueue" (16 messages), -1 until the application creates it. One message a key: the
// code is the key character sign-extended to 32 bits, the body empty.
extern std::atomic<port_id> keyQueue;

// Released once each at shut-down, to let the two worker threads end; -1 until created.
extern sem_id quitUIRequested;
extern sem_id quitInstallerRequested;

// Publishes a new pair of lines and prints them. A line longer than 16 characters is cut at 16.
void M_ShowMessage(const char* line1, const char* line2);

// Waits for a key in `validKeys` and returns it; keys not in the set are consumed and dropped.
// `timeout` in microseconds, 0 for none (then the wait gives up only after 24 hours without any
// key at all). 0 when the wait timed out.
char M_GetKeypress(const char* validKeys, bigtime_t timeout);

// Copies both lines, each into a buffer of kMessageLineSize bytes, in one step.
void M_ReadMessage(char* line1, char* line2);

// Writes a key message into the key queue without ever waiting: when the queue is full, or does
// not exist (yet, or any more), the key is dropped. B_OK when the key was queued.
status_t M_WriteKey(char key);
