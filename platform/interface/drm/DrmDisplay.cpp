#include "interface/drm/DrmDisplay.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "interface/Framebuffer.h"
#include "interface/WakeEvent.h"
#include "interface/drm/ConsoleKeyboard.h"
#include "interface/drm/DrmCard.h"
#include "interface/drm/ScanoutBuffer.h"
#include "interface/drm/VirtualConsole.h"

namespace BPrivate {

namespace {

// Windows are not stacked: each one's changes are copied as they come, over whatever is there
// (the program shows one window). Threads: see Display. The main thread owns the card, the
// console, the keyboard and fShown; the others only touch what fLock guards and the wake event.
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
	WakeEvent fWakeEvent;
	std::vector<uint32> fScratch;
	// On the screen, in the order shown; the last has the keyboard.
	std::vector<DisplayClient*> fShown;

	std::mutex fLock;
	// Guarded by fLock.
	std::vector<DisplayClient*> fAdded;
	std::vector<DisplayClient*> fInvalid;
};

DrmDisplay::DrmDisplay(std::unique_ptr<DrmCard> card) : fCard(std::move(card))
{
	// The console was taken after the card: a switch of consoles may have shown the text console.
	fCard->ShowAgain();
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
	fCard->Flush(ClearScanout(fCard->Primary(), client->DisplayFrame()));
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
	fWakeEvent.Signal();
}

void DrmDisplay::Dispatch(bigtime_t deadline)
{
	DoQueuedWork();

	if (fWakeEvent.Wait(fKeyboard.Descriptor(), deadline) != 0) {
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
