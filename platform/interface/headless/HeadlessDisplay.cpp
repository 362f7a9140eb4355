#include "interface/headless/HeadlessDisplay.h"

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>

#include "interface/Framebuffer.h"

namespace BPrivate {

namespace {

std::string SnapshotPathFromEnvironment()
{
	const char* path = getenv("BEOS_FRAMEBUFFER_PNG");
	return path != NULL ? path : "";
}

} // namespace

HeadlessDisplay::HeadlessDisplay()
    : fKeyboardClient(nullptr), fCursorHidden(false), fKeyboard(STDIN_FILENO),
      fSnapshotPath(SnapshotPathFromEnvironment())
{
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
	fWakeEvent.Signal();
}

void HeadlessDisplay::Dispatch(bigtime_t deadline)
{
	ShowInvalidated();

	const short keyboardEvents =
	    fWakeEvent.Wait(fKeyboard.IsActive() ? fKeyboard.Descriptor() : -1, deadline);
	if (keyboardEvents != 0) {
		std::vector<TerminalKey> keys;
		fKeyboard.HandlePoll(keyboardEvents, &keys);
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
