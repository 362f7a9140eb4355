#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/FileDescriptor.h"

namespace VelmoTest {

// A service manager's notify socket, as far as a test needs one: an AF_UNIX datagram socket bound
// to a path in a directory of the test's (or to a name in the abstract namespace), read by a
// thread of its own that keeps every datagram, in the order received. Address() is what
// NOTIFY_SOCKET must hold to reach it ("/path", or "@name" for the abstract namespace).
//
// Threads: the reader thread and any number of test threads.
class NotifyListener
{
public:
	enum class Namespace
	{
		kFileSystem,
		kAbstract
	};

	// `directory` holds the socket file in the file-system form; unused for the abstract one.
	NotifyListener(const std::string& directory, Namespace where = Namespace::kFileSystem);
	// Stops the reader thread and joins it; the socket file is removed.
	~NotifyListener();

	NotifyListener(const NotifyListener&) = delete;
	NotifyListener& operator=(const NotifyListener&) = delete;

	bool IsListening() const { return fSocket.IsValid(); }
	const std::string& Address() const { return fAddress; }

	std::vector<std::string> Datagrams() const;
	// Waits until `count` datagrams have come; false when `timeout` passed first.
	bool WaitForCount(size_t count, std::chrono::milliseconds timeout) const;
	// Waits until a datagram equal to `text` has come; false when `timeout` passed first.
	bool WaitFor(const std::string& text, std::chrono::milliseconds timeout) const;

private:
	void Read();

	std::string fAddress;
	std::string fPath;
	BPrivate::FileDescriptor fSocket;
	BPrivate::FileDescriptor fStop;

	mutable std::mutex fLock;
	mutable std::condition_variable fChanged;
	std::vector<std::string> fDatagrams;
	std::thread fReader;
};

} // namespace VelmoTest
