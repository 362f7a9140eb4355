#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "interface/Display.h"
#include "interface/WakeEvent.h"
#include "interface/headless/TerminalKeyboard.h"

namespace BPrivate {

// A display without a screen: windows are kept in their framebuffers and shown nowhere, and the
// keyboard is the terminal on standard input, when there is one (see TerminalKeyboard; without a
// terminal, standard input is not read at all). Keys go to the window shown last.
//
// BEOS_FRAMEBUFFER_PNG: when this environment variable names a file (a host path), the
// framebuffer of the first window is written there as a PNG image each time it has changed, by
// the display's thread. The image is written next to it as "<file>.tmp" and renamed over it, so
// a reader never sees a half-written file. For people watching a headless run, and for tests.
//
// Threads: see Display. Dispatch, RemoveClient and construction and destruction on the main
// thread; the other operations from any thread.
class HeadlessDisplay : public Display
{
public:
	HeadlessDisplay();
	~HeadlessDisplay() override;

	void AddClient(DisplayClient* client) override;
	void RemoveClient(DisplayClient* client) override;
	void Invalidate(DisplayClient* client) override;
	void HideCursor() override;
	void ShowCursor() override;
	void Wake() override;
	void Dispatch(bigtime_t deadline) override;
	const char* Name() const override { return "headless"; }

	// For tests: whether the cursor would be hidden, and whether the terminal is being read.
	bool IsCursorHidden() const;
	bool IsReadingTerminal() const { return fKeyboard.IsActive(); }

private:
	void ShowInvalidated();
	void DeliverKeys(const std::vector<TerminalKey>& keys);

	mutable std::mutex fLock;
	// Guarded by fLock.
	std::vector<DisplayClient*> fClients;
	std::vector<DisplayClient*> fInvalid;
	DisplayClient* fKeyboardClient;
	bool fCursorHidden;

	WakeEvent fWakeEvent;
	TerminalKeyboard fKeyboard;
	const std::string fSnapshotPath;
};

} // namespace BPrivate
