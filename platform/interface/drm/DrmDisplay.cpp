#include "interface/drm/DrmDisplay.h"

#include <errno.h>
#include <poll.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <mutex>
#include <vector>

#include "interface/Framebuffer.h"
#include "interface/drm/ConsoleKeyboard.h"
#include "interface/drm/DrmCard.h"
#include "interface/drm/ScanoutBuffer.h"
#include "interface/drm/VirtualConsole.h"
#include "kernel/Time.h"
#include "support/FileDescriptor.h"

namespace BPrivate {

namespace {

// Threads: see Display. The main thread owns the card, the console, the keyboard and fShown;
// the others only touch what fLock guards and write the wake event.
class DrmDisplay final : public Display
{
public:
	explicit DrmDisplay(std::unique_ptr<DrmCard> card);

	void AddClient(DisplayClient* client) override;
	void RemoveClient(DisplayClient* client) override;
	void Invalidate(DisplayClient* client) override;
	// There is no pointer on this screen to hide.
	void HideCursor() override {}
	void ShowCursor() override {}
	void Wake() override;
	void Dispatch(bigtime_t deadline) override;
	const char* Name() const override { return "drm"; }

private:
	void DoQueuedWork();
	// Copies the client's new damage (all of it when `whole`) to the screen.
	void Show(DisplayClient* client, bool whole);

	// First, so that it is restored last, after the card has given the screen back.
	VirtualConsole fConsole;
	std::unique_ptr<DrmCard> fCard;
	ConsoleKeyboard fKeyboard;
	FileDescriptor fWakeEvent;
	std::vector<uint32> fScratch;
	// On the screen, in the order shown; the last has the keyboard.
	std::vector<DisplayClient*> fShown;

	std::mutex fLock;
	// Guarded by fLock.
	std::vector<DisplayClient*> fAdded;
	std::vector<DisplayClient*> fInvalid;
};

DrmDisplay::DrmDisplay(std::unique_ptr<DrmCard> card)
    : fCard(std::move(card)), fWakeEvent(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
	assert(fWakeEvent.IsValid());
}

void DrmDisplay::AddClient(DisplayClient* client)
{
	{
		std::lock_guard<std::mutex> lock(fLock);
		if (std::find(fAdded.begin(), fAdded.end(), client) == fAdded.end())
			fAdded.push_back(client);
	}
	Wake();
}

void DrmDisplay::RemoveClient(DisplayClient* client)
{
	{
		std::lock_guard<std::mutex> lock(fLock);
		std::erase(fAdded, client);
		std::erase(fInvalid, client);
	}
	if (std::find(fShown.begin(), fShown.end(), client) == fShown.end())
		return;
	std::erase(fShown, client);
	// What it covered goes black, and the windows left are shown whole again.
	const BRect frame = client->DisplayFrame();
	const ScanoutBuffer& screen = fCard->Primary();
	BRect gone = frame & screen.Bounds();
	if (gone.IsValid()) {
		for (int32 y = static_cast<int32>(gone.top); y <= static_cast<int32>(gone.bottom); y++) {
			const int32 bytes = screen.format == ScanoutFormat::kXrgb8888 ? 4 : 2;
			memset(screen.pixels + static_cast<size_t>(y) * screen.pitch +
			           static_cast<size_t>(gone.left) * bytes,
			       0, static_cast<size_t>(gone.IntegerWidth() + 1) * bytes);
		}
		fCard->Flush(gone);
	}
	for (DisplayClient* shown : fShown)
		Show(shown, true);
}

void DrmDisplay::Invalidate(DisplayClient* client)
{
	{
		std::lock_guard<std::mutex> lock(fLock);
		if (std::find(fInvalid.begin(), fInvalid.end(), client) == fInvalid.end())
			fInvalid.push_back(client);
	}
	Wake();
}

void DrmDisplay::Wake()
{
	const uint64_t one = 1;
	ssize_t written;
	do
		written = write(fWakeEvent.Get(), &one, sizeof(one));
	while (written < 0 && errno == EINTR);
	// EAGAIN: the counter is full, so a wake-up is pending anyway.
}

void DrmDisplay::Dispatch(bigtime_t deadline)
{
	DoQueuedWork();

	struct pollfd descriptors[2] = {};
	descriptors[0].fd = fWakeEvent.Get();
	descriptors[0].events = POLLIN;
	nfds_t count = 1;
	if (fKeyboard.Descriptor() >= 0) {
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
		std::vector<std::string> keys;
		fKeyboard.Read(&keys);
		// A key typed while no window is shown goes nowhere.
		if (!fShown.empty()) {
			for (const std::string& key : keys)
				fShown.back()->DisplayKeyDown(key.data(), static_cast<int32>(key.size()));
		}
	}
	DoQueuedWork();
}

void DrmDisplay::DoQueuedWork()
{
	std::vector<DisplayClient*> added;
	std::vector<DisplayClient*> invalid;
	{
		std::lock_guard<std::mutex> lock(fLock);
		added.swap(fAdded);
		invalid.swap(fInvalid);
	}
	for (DisplayClient* client : added) {
		if (std::find(fShown.begin(), fShown.end(), client) != fShown.end())
			continue;
		fShown.push_back(client);
		Show(client, true);
		// Its pixels are on the screen now.
		client->DisplayShown();
	}
	for (DisplayClient* client : invalid) {
		if (std::find(fShown.begin(), fShown.end(), client) != fShown.end())
			Show(client, false);
	}
}

void DrmDisplay::Show(DisplayClient* client, bool whole)
{
	Framebuffer& framebuffer = client->DisplayFramebuffer();
	BRect damage;
	if (!framebuffer.TakeDamage(&damage) && !whole)
		return;
	if (whole)
		damage = framebuffer.Bounds();
	const BRect written = PlaceDamage(framebuffer, client->DisplayFrame().LeftTop(), damage,
	                                  fCard->Primary(), &fScratch);
	fCard->Flush(written);
}

} // namespace

std::unique_ptr<Display> CreateDrmDisplay(std::string* outcome, bool* screenExpected)
{
	DrmCard::Refusal refusal;
	std::unique_ptr<DrmCard> card = DrmCard::OpenFirst(&refusal);
	*screenExpected = refusal.cardFound;
	if (!card) {
		*outcome = refusal.reason;
		return nullptr;
	}
	*outcome = card->Description();
	return std::make_unique<DrmDisplay>(std::move(card));
}

} // namespace BPrivate
