#include "support/NotifyListener.h"

#include <errno.h>
#include <poll.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>

namespace VelmoTest {

NotifyListener::NotifyListener(const std::string& directory, Namespace where)
    : fSocket(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)),
      fStop(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
	if (!fSocket.IsValid() || !fStop.IsValid())
		return;
	struct sockaddr_un address = {};
	address.sun_family = AF_UNIX;
	socklen_t length;
	if (where == Namespace::kAbstract) {
		// A name no other run shares: the abstract namespace is the machine's (its network
		// namespace's), not the test's directory.
		static std::atomic<int> serial{0};
		const std::string name =
		    "velmo-notify-" + std::to_string(getpid()) + "-" + std::to_string(serial++);
		fAddress = "@" + name;
		memcpy(address.sun_path + 1, name.data(), name.size());
		length = (socklen_t)(offsetof(struct sockaddr_un, sun_path) + 1 + name.size());
	} else {
		fPath = directory + "/notify";
		fAddress = fPath;
		if (fPath.size() >= sizeof(address.sun_path)) {
			fSocket.Reset();
			return;
		}
		memcpy(address.sun_path, fPath.c_str(), fPath.size() + 1);
		length = (socklen_t)sizeof(address);
	}
	if (bind(fSocket.Get(), (const struct sockaddr*)&address, length) != 0) {
		fSocket.Reset();
		return;
	}
	fReader = std::thread([this] { Read(); });
}

NotifyListener::~NotifyListener()
{
	if (fReader.joinable()) {
		const uint64_t one = 1;
		while (write(fStop.Get(), &one, sizeof(one)) < 0 && errno == EINTR) {
		}
		fReader.join();
	}
	if (!fPath.empty())
		unlink(fPath.c_str());
}

void NotifyListener::Read()
{
	for (;;) {
		struct pollfd entries[2] = {{fSocket.Get(), POLLIN, 0}, {fStop.Get(), POLLIN, 0}};
		if (poll(entries, 2, -1) < 0) {
			if (errno == EINTR)
				continue;
			return;
		}
		if (entries[1].revents != 0)
			return;
		char buffer[4096];
		const ssize_t length = recv(fSocket.Get(), buffer, sizeof(buffer), MSG_DONTWAIT);
		if (length < 0)
			continue;
		std::lock_guard<std::mutex> lock(fLock);
		fDatagrams.emplace_back(buffer, (size_t)length);
		fChanged.notify_all();
	}
}

std::vector<std::string> NotifyListener::Datagrams() const
{
	std::lock_guard<std::mutex> lock(fLock);
	return fDatagrams;
}

bool NotifyListener::WaitForCount(size_t count, std::chrono::milliseconds timeout) const
{
	std::unique_lock<std::mutex> lock(fLock);
	return fChanged.wait_for(lock, timeout, [&] { return fDatagrams.size() >= count; });
}

bool NotifyListener::WaitFor(const std::string& text, std::chrono::milliseconds timeout) const
{
	std::unique_lock<std::mutex> lock(fLock);
	return fChanged.wait_for(lock, timeout, [&] {
		for (const std::string& datagram : fDatagrams) {
			if (datagram == text)
				return true;
		}
		return false;
	});
}

} // namespace VelmoTest
