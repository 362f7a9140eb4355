#pragma once

// Message ports of the kernel services: bounded FIFOs of a 32-bit code and a body.

#include <deque>
#include <vector>

#include <OS.h>

#include "kernel/WaitQueue.h"

namespace BPrivate {

static const int32 kMaxPortCapacity = 4096;
static const size_t kMaxPortMessageSize = 256 * 1024;

struct PortMessage
{
	int32 code = 0;
	std::vector<char> body;
};

// One port. Guarded by the kernel lock; lives in the registry of Port.cpp from create_port to
// delete_port. Waiters are woken to look again rather than handed a message: a woken thread
// takes what it finds, and whoever succeeds passes the wake-up on while the port can serve more.
class Port
{
public:
	Port(port_id id, int32 capacity, const char* name);

	port_id Id() const { return fId; }
	const char* Name() const { return fName; }

	bool IsFull() const { return (int32)fMessages.size() >= fCapacity; }
	bool IsEmpty() const { return fMessages.empty(); }
	int32 Count() const { return (int32)fMessages.size(); }

	void Push(PortMessage&& message, Wakeups& wakeups);
	PortMessage Pop(Wakeups& wakeups);
	size_t FrontSize() const { return fMessages.front().body.size(); }
	// Wakes the next reader and the next writer if the port can serve them now.
	void PassOn(Wakeups& wakeups);
	void WakeAllDeleted(Wakeups& wakeups);

	WaitQueue& Readers() { return fReaders; }
	WaitQueue& Writers() { return fWriters; }

private:
	port_id fId;
	int32 fCapacity;
	char fName[B_OS_NAME_LENGTH];
	std::deque<PortMessage> fMessages;
	WaitQueue fReaders;
	WaitQueue fWriters;
};

} // namespace BPrivate
