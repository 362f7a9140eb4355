#include "support/FramebufferSnapshots.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace VelmoTest {

FramebufferSnapshots::FramebufferSnapshots(const std::string& path)
    : fPath(path), fFd(inotify_init1(IN_CLOEXEC | IN_NONBLOCK))
{
	const size_t slash = path.rfind('/');
	fDirectory = slash == std::string::npos ? "." : path.substr(0, slash);
	fName = slash == std::string::npos ? path : path.substr(slash + 1);
	if (fFd >= 0)
		inotify_add_watch(fFd, fDirectory.c_str(), IN_CREATE | IN_MOVED_TO);
}

FramebufferSnapshots::~FramebufferSnapshots()
{
	if (fFd >= 0)
		close(fFd);
}

void FramebufferSnapshots::Drain()
{
	alignas(inotify_event) char events[4096];
	while (fFd >= 0 && read(fFd, events, sizeof(events)) > 0) {
	}
}

bool FramebufferSnapshots::WaitFor(const std::function<bool(const ImageFiles::Image&)>& wanted,
                                   std::chrono::steady_clock::time_point deadline,
                                   Snapshot* snapshot)
{
	using Clock = std::chrono::steady_clock;
	Clock::time_point created = Clock::now();
	while (fFd >= 0 && Clock::now() < deadline) {
		pollfd waiting = {fFd, POLLIN, 0};
		if (poll(&waiting, 1, 20) <= 0)
			continue;
		const Clock::time_point when = Clock::now();
		alignas(inotify_event) char events[4096];
		bool renamed = false;
		ssize_t length;
		while ((length = read(fFd, events, sizeof(events))) > 0) {
			for (ssize_t at = 0; at < length;) {
				const inotify_event* event = reinterpret_cast<const inotify_event*>(events + at);
				const std::string name = event->len > 0 ? event->name : "";
				if ((event->mask & IN_CREATE) != 0 && name == fName + ".tmp")
					created = when;
				if ((event->mask & IN_MOVED_TO) != 0 && name == fName)
					renamed = true;
				at += sizeof(inotify_event) + event->len;
			}
		}
		if (!renamed)
			continue;
		ImageFiles::Image image = ImageFiles::Load(fPath);
		if (image.width > 0 && wanted(image)) {
			snapshot->image = std::move(image);
			snapshot->begun = created;
			snapshot->done = when;
			return true;
		}
	}
	return false;
}

} // namespace VelmoTest
