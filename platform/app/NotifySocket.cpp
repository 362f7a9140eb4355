#include "app/NotifySocket.h"

#include <poll.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <cerrno>

namespace BPrivate {

namespace {

// How long the sender sleeps on a full socket before it looks again: poll() tells when a
// connected datagram socket's peer has room, this only bounds a wait that could miss it.
constexpr int kRoomWaitMilliseconds = 100;

} // namespace

NotifySocket::NotifySocket(const std::string& address) : fAddress(address) {}

NotifySocket::~NotifySocket()
{
	{
		std::lock_guard<std::mutex> lock(fLock);
		fStopping = true;
	}
	fQueued.notify_all();
	if (fSender.joinable())
		fSender.join();
}

void NotifySocket::Send(const std::string& datagram, bool droppable)
{
	std::lock_guard<std::mutex> lock(fLock);
	// Behind datagrams that wait, a new one waits too: the manager hears them in order.
	if (fQueue.empty() && TrySend(datagram))
		return;
	if (fQueue.size() >= kQueueLimit) {
		const auto oldest = std::find_if(fQueue.begin(), fQueue.end(),
		                                 [](const Datagram& queued) { return queued.droppable; });
		if (oldest != fQueue.end()) {
			fQueue.erase(oldest);
			if (!fDropReported) {
				fDropReported = true;
				fprintf(stderr,
				        "service notification to %s: the manager does not read; the oldest "
				        "waiting status is dropped\n",
				        fAddress.c_str());
			}
		}
	}
	fQueue.push_back({datagram, droppable});
	if (!fSender.joinable())
		fSender = std::thread(&NotifySocket::RunSender, this);
	fQueued.notify_one();
}

void NotifySocket::SendQueued()
{
	while (!fQueue.empty() && TrySend(fQueue.front().text))
		fQueue.pop_front();
}

bool NotifySocket::TrySend(const std::string& text)
{
	if (!fSocket.IsValid() && !Connect())
		return true;
	ssize_t sent;
	do {
		sent = send(fSocket.Get(), text.data(), text.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
	} while (sent < 0 && errno == EINTR);
	if (sent >= 0)
		return true;
	if (errno == EAGAIN || errno == EWOULDBLOCK)
		return false;
	// The manager went away (ECONNREFUSED), say: the next datagram connects again.
	Report(errno);
	fSocket.Reset();
	return true;
}

bool NotifySocket::Connect()
{
	sockaddr_un address = {};
	address.sun_family = AF_UNIX;
	// "@name" is in the abstract namespace: a NUL first, and no NUL at the end.
	const bool abstract = !fAddress.empty() && fAddress[0] == '@';
	if (fAddress.empty() || fAddress.size() >= sizeof(address.sun_path)) {
		Report(EINVAL);
		return false;
	}
	memcpy(address.sun_path, fAddress.data(), fAddress.size());
	if (abstract)
		address.sun_path[0] = '\0';
	const socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) +
	                                                fAddress.size() + (abstract ? 0 : 1));
	FileDescriptor descriptor(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
	if (!descriptor.IsValid() ||
	    connect(descriptor.Get(), reinterpret_cast<const sockaddr*>(&address), length) != 0) {
		Report(errno);
		return false;
	}
	fSocket = std::move(descriptor);
	return true;
}

void NotifySocket::Report(int error)
{
	if (fFailureReported)
		return;
	fFailureReported = true;
	fprintf(stderr, "service notification to %s failed: %s\n", fAddress.c_str(), strerror(error));
}

void NotifySocket::RunSender()
{
	std::unique_lock<std::mutex> lock(fLock);
	while (!fStopping) {
		SendQueued();
		if (fQueue.empty()) {
			fQueued.wait(lock);
			continue;
		}
		pollfd descriptor = {fSocket.Get(), POLLOUT, 0};
		lock.unlock();
		poll(&descriptor, 1, kRoomWaitMilliseconds);
		lock.lock();
	}
}

} // namespace BPrivate
