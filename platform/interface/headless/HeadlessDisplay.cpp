#include "interface/headless/HeadlessDisplay.h"

#include <errno.h>
#include <poll.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <climits>

#include "interface/Framebuffer.h"
#include "kernel/Time.h"

namespace BPrivate {

namespace {

std::string SnapshotPathFromEnvironment()
{
	const char* path = getenv("BEOS_FRAMEBUFFER_PNG");
	return path != NULL ? path : "";
}

} // namespace

HeadlessDisplay::HeadlessDisplay()
    : fKeyboardClient(nullptr), fCursorHidden(false),
      fWakeEvent(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), fKeyboard(STDIN_FILENO),
      fSnapshotPath(SnapshotPathFromEnvironment())
{
	assert(fWakeEvent.IsValid());
}

HeadlessDisplay::~HeadlessDisplay() = default;

void HeadlessDisplay::AddClient(DisplayClient* client)
{
	{
		std::lock_guard<std::mutex> lock(fLock);
		fClients.push_back(client);
		fKeyboardClient = client;
	}
	client->DisplayShown();
}

void HeadlessDisplay::RemoveClient(DisplayClient* client)
{
	std::lock_guard<std::mutex> lock(fLock);
	fClients.erase(std::remove(fClients.begin(), fClients.end(), client), fClients.end());
	fInvalid.erase(std::remove(fInvalid.begin(), fInvalid.end(), client), fInvalid.end());
	if (fKeyboardClient == client)
		fKeyboardClient = fClients.empty() ? nullptr : fClients.back();
}

void HeadlessDisplay::Invalidate(DisplayClient* client)
{
	{
		std::lock_guard<std::mutex> lock(fLock);
		if (std::find(fInvalid.begin(), fInvalid.end(), client) == fInvalid.end())
			fInvalid.push_back(client);
	}
	Wake();
}

void HeadlessDisplay::HideCursor()
{
	std::lock_guard<std::mutex> lock(fLock);
	fCursorHidden = true;
}

void HeadlessDisplay::ShowCursor()
{
	std::lock_guard<std::mutex> lock(fLock);
	fCursorHidden = false;
}

bool HeadlessDisplay::IsCursorHidden() const
{
	std::lock_guard<std::mutex> lock(fLock);
	return fCursorHidden;
}

void HeadlessDisplay::Wake()
{
	const uint64_t one = 1;
	ssize_t written;
	do
		written = write(fWakeEvent.Get(), &one, sizeof(one));
	while (written < 0 && errno == EINTR);
	// EAGAIN: the counter is full, so a wake-up is pending anyway.
}

void HeadlessDisplay::Dispatch(bigtime_t deadline)
{
	ShowInvalidated();

	struct pollfd descriptors[2] = {};
	descriptors[0].fd = fWakeEvent.Get();
	descriptors[0].events = POLLIN;
	nfds_t count = 1;
	if (fKeyboard.IsActive()) {
		descriptors[1].fd = fKeyboard.Descriptor();
		descriptors[1].events = POLLIN;
		count = 2;
	}
	int ready;
	do
		ready = poll(descriptors, count, PollTimeout(deadline));
	while (ready < 0 && errno == EINTR);
	if (ready <= 0)
		return;

	// Drained after the wait, never before it: a Wake() between the caller's last look at its
	// queue and this wait must end the wait.
	if ((descriptors[0].revents & POLLIN) != 0) {
		uint64_t value;
		ssize_t result;
		do
			result = read(fWakeEvent.Get(), &value, sizeof(value));
		while (result < 0 && errno == EINTR);
	}
	if (count == 2 && descriptors[1].revents != 0) {
		std::vector<TerminalKey> keys;
		fKeyboard.HandlePoll(descriptors[1].revents, &keys);
		DeliverKeys(keys);
	}
	ShowInvalidated();
}

void HeadlessDisplay::ShowInvalidated()
{
	DisplayClient* snapshotClient = nullptr;
	std::vector<DisplayClient*> invalid;
	{
		std::lock_guard<std::mutex> lock(fLock);
		invalid.swap(fInvalid);
		if (!fClients.empty() &&
		    std::find(invalid.begin(), invalid.end(), fClients.front()) != invalid.end())
			snapshotClient = fClients.front();
	}
	// Clients are removed on this thread only: those listed are alive.
	for (DisplayClient* client : invalid) {
		BRect damage;
		client->DisplayFramebuffer().TakeDamage(&damage);
	}
	if (snapshotClient == nullptr || fSnapshotPath.empty())
		return;
	const std::string temporary = fSnapshotPath + ".tmp";
	if (snapshotClient->DisplayFramebuffer().SavePNG(temporary.c_str()) == B_OK)
		rename(temporary.c_str(), fSnapshotPath.c_str());
	else
		unlink(temporary.c_str());
}

void HeadlessDisplay::DeliverKeys(const std::vector<TerminalKey>& keys)
{
	if (keys.empty())
		return;
	DisplayClient* client;
	{
		std::lock_guard<std::mutex> lock(fLock);
		client = fKeyboardClient;
	}
	// A key typed while no window is shown goes nowhere.
	if (client == nullptr)
		return;
	for (const TerminalKey& key : keys)
		client->DisplayKeyDown(key.bytes, key.length);
}

} // namespace BPrivate
