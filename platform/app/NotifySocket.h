#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "support/FileDescriptor.h"

namespace BPrivate {

// The datagram socket of a service manager (a path, or "@name" in the abstract namespace, as
// NOTIFY_SOCKET gives it), written without ever waiting. A datagram goes at once when the
// manager's socket takes it; while its queue is full (a manager that does not read, or is slow
// to), datagrams wait here, in order, and a thread of this object's own sends them as soon as
// there is room. At most kQueueLimit wait: beyond that the oldest droppable one (a status, which
// a later one replaces) goes, said once on standard error; the others are never dropped. A
// socket that cannot be reached is said once on standard error; that datagram is lost and the
// next one tries again.
//
// Threads: any; Send is serialised. The sender thread starts at the first datagram that has to
// wait and is stopped and joined when this goes (what still waits then is lost).
class NotifySocket
{
public:
	static constexpr size_t kQueueLimit = 8;

	explicit NotifySocket(const std::string& address);
	~NotifySocket();

	NotifySocket(const NotifySocket&) = delete;
	NotifySocket& operator=(const NotifySocket&) = delete;

	void Send(const std::string& datagram, bool droppable);

private:
	struct Datagram
	{
		std::string text;
		bool droppable;
	};

	// With fLock held: sends what waits, as far as the socket takes it without waiting.
	void SendQueued();
	// With fLock held: false when the datagram has to wait for room.
	bool TrySend(const std::string& text);
	bool Connect();
	void Report(int error);
	void RunSender();

	const std::string fAddress;
	std::mutex fLock;
	std::condition_variable fQueued;
	// Guarded by fLock.
	FileDescriptor fSocket;
	std::deque<Datagram> fQueue;
	bool fFailureReported = false;
	bool fDropReported = false;
	bool fStopping = false;
	std::thread fSender;
};

} // namespace BPrivate
