#include "interface/sdl/SdlDisplay.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>

#include "interface/headless/HeadlessDisplay.h"
#include "interface/sdl/X11LossGuard.h"
#include "kernel/Time.h"

namespace BPrivate {

namespace {

// SDL's timeout for a wait until `deadline` (system_time clock), in whole milliseconds rounded
// up: waking a little early would only cost the caller another round.
int TimeoutFor(bigtime_t deadline)
{
	if (deadline == B_INFINITE_TIMEOUT)
		return -1;
	const bigtime_t remaining = deadline - system_time();
	if (remaining <= 0)
		return 0;
	return static_cast<int>(std::min<bigtime_t>((WaitSlice(remaining) + 999) / 1000, INT_MAX));
}

constexpr bigtime_t kPollInterval = 10000;

SdlWaitStyle WaitStyleFor(const char* driver)
{
	if (strcmp(driver, "x11") == 0)
		return SdlWaitStyle::kOnXConnection;
	if (strcmp(driver, "wayland") == 0)
		return SdlWaitStyle::kInDriver;
	return IsSdlStandIn(driver) ? SdlWaitStyle::kForWorkOnly : SdlWaitStyle::kPolling;
}

} // namespace

bool IsSdlStandIn(const char* driver)
{
	return strcmp(driver, "offscreen") == 0 || strcmp(driver, "dummy") == 0;
}

void ReportScreenLost()
{
	fprintf(stderr, "sdl: the connection to the screen is gone; going on without one, keys from "
	                "the terminal\n");
}

bool SdlDisplay::ScreenLost() const
{
	return (fConnection && fConnection->Lost()) ||
	       (fWaylandConnection && fWaylandConnection->Lost());
}

bool SdlDisplay::LookForHangUp()
{
	return (fConnection && fConnection->LookForHangUp()) ||
	       (fWaylandConnection && fWaylandConnection->LookForHangUp());
}

SdlDisplay::SdlDisplay(std::unique_ptr<SdlSession> session,
                       std::unique_ptr<X11Connection> connection, Uint32 wakeEvent)
    : fSession(std::move(session)), fWakeEvent(wakeEvent),
      fName(std::string("sdl:") + SDL_GetCurrentVideoDriver()),
      fWaitStyle(WaitStyleFor(SDL_GetCurrentVideoDriver())), fConnection(std::move(connection))
{
	// Printable keys arrive as text events only (see SdlKeys.h).
	SDL_StartTextInput();
	if (fWaitStyle == SdlWaitStyle::kOnXConnection) {
		fWakeDescriptor = FileDescriptor(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
		// The screen cover follows other clients' windows through the raw X events.
		SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
	}
}

SdlDisplay::~SdlDisplay()
{
	// After a loss SDL is left as it is (GoHeadless).
	if (Fallback() == nullptr)
		CloseAll();
}

const char* SdlDisplay::Name() const
{
	if (Display* fallback = Fallback())
		return fallback->Name();
	return fName.c_str();
}

// Each operation another thread may call looks for the fallback under fLock, where GoHeadless
// sets it: what was queued before is handed over, what comes after goes to the fallback.

void SdlDisplay::AddClient(DisplayClient* client)
{
	{
		std::lock_guard<std::mutex> guard(fLock);
		if (fFallback == nullptr) {
			if (std::find(fAdded.begin(), fAdded.end(), client) == fAdded.end())
				fAdded.push_back(client);
			WakeLocked();
			return;
		}
	}
	Fallback()->AddClient(client);
}

void SdlDisplay::RemoveClient(DisplayClient* client)
{
	{
		std::lock_guard<std::mutex> guard(fLock);
		std::erase(fAdded, client);
		std::erase(fInvalid, client);
	}
	if (Fallback() == nullptr) {
		SdlWindow* window = WindowOf(client);
		if (!LookForHangUp() && CloseWindow(window)) {
			std::erase_if(fWindows, [window](const std::unique_ptr<SdlWindow>& each) {
				return each.get() == window;
			});
			return;
		}
		// The screen went before or while the window was taken off it (a reset ending as the
		// X server stops, say): its client goes with the others to the headless display.
		GoHeadless();
	}
	Fallback()->RemoveClient(client);
}

void SdlDisplay::Invalidate(DisplayClient* client)
{
	{
		std::lock_guard<std::mutex> guard(fLock);
		if (fFallback == nullptr) {
			if (std::find(fInvalid.begin(), fInvalid.end(), client) == fInvalid.end())
				fInvalid.push_back(client);
			WakeLocked();
			return;
		}
	}
	Fallback()->Invalidate(client);
}

void SdlDisplay::HideCursor()
{
	{
		std::lock_guard<std::mutex> guard(fLock);
		if (fFallback == nullptr) {
			fHideLevel++;
			WakeLocked();
			return;
		}
	}
	Fallback()->HideCursor();
}

void SdlDisplay::ShowCursor()
{
	{
		std::lock_guard<std::mutex> guard(fLock);
		if (fFallback == nullptr) {
			// The cursor shows at level 0; a show too many does not bank a future hide.
			if (fHideLevel > 0)
				fHideLevel--;
			WakeLocked();
			return;
		}
	}
	Fallback()->ShowCursor();
}

void SdlDisplay::Wake()
{
	{
		std::lock_guard<std::mutex> guard(fLock);
		if (fFallback == nullptr) {
			WakeLocked();
			return;
		}
	}
	Fallback()->Wake();
}

void SdlDisplay::WakeLocked()
{
	fWorkQueued = true;
	fWorkCondition.notify_one();
	if (fWakePending)
		return;
	if (fWakeDescriptor.IsValid()) {
		const uint64_t one = 1;
		// Fails only when the counter is full, and then it is readable anyway.
		fWakePending = write(fWakeDescriptor.Get(), &one, sizeof(one)) == sizeof(one);
		return;
	}
	SDL_Event event = {};
	event.type = fWakeEvent;
	// Fails only when SDL's queue is full, and then the main thread has events to handle
	// anyway; the next call tries again.
	fWakePending = SDL_PushEvent(&event) == 1;
}

void SdlDisplay::Dispatch(bigtime_t deadline)
{
	if (Display* fallback = Fallback()) {
		fallback->Dispatch(deadline);
		return;
	}
	if (LookForHangUp()) {
		GoHeadless();
		return;
	}
	DoQueuedWork();
	if (ScreenLost()) {
		GoHeadless();
		return;
	}

	SDL_Event event;
	bool haveEvent;
	if (fWaitStyle == SdlWaitStyle::kOnXConnection && fConnection && !fWindows.empty()) {
		// Whatever DoQueuedWork made SDL queue is handled before any wait.
		if (!SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT)) {
			const bigtime_t coverDue = fCover ? fCover->NextDue() : B_INFINITE_TIMEOUT;
			fConnection->Wait(fWakeDescriptor.Get(), std::min(deadline, coverDue));
		}
		if (fConnection->LookForHangUp()) {
			GoHeadless();
			return;
		}
		{
			std::lock_guard<std::mutex> guard(fLock);
			uint64_t count;
			if (fWakePending && read(fWakeDescriptor.Get(), &count, sizeof(count)) > 0)
				fWakePending = false;
		}
		haveEvent = SDL_PollEvent(&event) == 1;
	} else if (fWaitStyle == SdlWaitStyle::kInDriver && !fWindows.empty()) {
		const int timeout = TimeoutFor(deadline);
		haveEvent =
		    timeout < 0 ? SDL_WaitEvent(&event) == 1 : SDL_WaitEventTimeout(&event, timeout) == 1;
	} else {
		if (fWaitStyle == SdlWaitStyle::kPolling && !fWindows.empty())
			WaitForWork(std::min(deadline, system_time() + kPollInterval));
		else
			WaitForWork(deadline);
		haveEvent = SDL_PollEvent(&event) == 1;
	}
	// Handling an event may call Xlib or libwayland (a present after an expose): a hang-up is
	// looked for first each time (see X11Connection::LookForHangUp). On Wayland SDL's own sign
	// of a loss is an SDL_QUIT, after a wait that found the socket closed.
	while (haveEvent && !LookForHangUp()) {
		HandleEvent(event);
		haveEvent = SDL_PollEvent(&event) == 1;
	}
	if (fCover && !ScreenLost())
		fCover->DoDueWork();
	if (LookForHangUp()) {
		GoHeadless();
		return;
	}

	// Whatever woke the wait is shown in this round rather than the next.
	DoQueuedWork();
	if (ScreenLost())
		GoHeadless();
}

void SdlDisplay::GoHeadless()
{
	ReportScreenLost();
	auto headless = std::make_unique<HeadlessDisplay>();
	if (fCover)
		fCover->Abandon();
	fCover.reset();
	std::vector<DisplayClient*> clients;
	for (const std::unique_ptr<SdlWindow>& window : fWindows) {
		window->Abandon();
		clients.push_back(&window->Client());
	}
	fWindows.clear();
	fSession->Abandon();

	std::lock_guard<std::mutex> guard(fLock);
	for (DisplayClient* client : fAdded) {
		if (std::find(clients.begin(), clients.end(), client) == clients.end())
			clients.push_back(client);
	}
	fAdded.clear();
	fInvalid.clear();
	for (int32 level = 0; level < fHideLevel; level++)
		headless->HideCursor();
	// In the order they were shown: the headless display gives the keys to the last.
	for (DisplayClient* client : clients) {
		headless->AddClient(client);
		headless->Invalidate(client);
	}
	fFallback = std::move(headless);
	fFallbackView.store(fFallback.get(), std::memory_order_release);
}

void SdlDisplay::DoQueuedWork()
{
	std::vector<DisplayClient*> added;
	std::vector<DisplayClient*> invalid;
	int32 hideLevel;
	{
		std::lock_guard<std::mutex> guard(fLock);
		added.swap(fAdded);
		invalid.swap(fInvalid);
		hideLevel = fHideLevel;
		fWorkQueued = false;
	}

	if ((hideLevel > 0) != fCursorHidden) {
		fCursorHidden = hideLevel > 0;
		ApplyCursor();
	}
	for (auto client = added.begin(); client != added.end(); ++client) {
		if (WindowOf(*client) != nullptr)
			continue;
		SdlWindow::Making making = {*client};
		// Once Xlib has found the server gone (in a call above, say) its calls fail without a
		// word and SDL would crash on what they leave; should the server go while SDL makes the
		// window, the same. Then this client and the ones after it go to the headless display.
		if (LookForHangUp() || !RunGuardedAgainstXLoss(SdlWindow::Make, &making)) {
			if (fConnection)
				fConnection->NoteLost();
			std::lock_guard<std::mutex> guard(fLock);
			fAdded.insert(fAdded.begin(), client, added.end());
			return;
		}
		if (std::unique_ptr<SdlWindow> window = SdlWindow::Adopt(making)) {
			ShowWindow(std::move(window));
			(*client)->DisplayShown();
		}
	}
	for (DisplayClient* client : invalid) {
		if (SdlWindow* window = WindowOf(client))
			window->PresentDamage();
	}
}

void SdlDisplay::ShowWindow(std::unique_ptr<SdlWindow> window)
{
	if (fWaitStyle == SdlWaitStyle::kOnXConnection) {
		if (fConnection && !fCover) {
			fCover = X11ScreenCover::Create(fConnection->Get(), window->Get());
			fCoverFrame = fCover ? window->Get() : nullptr;
		}
	} else if (fWaitStyle == SdlWaitStyle::kInDriver && !fWaylandConnection) {
		fWaylandConnection = WaylandConnection::ForWindow(window->Get());
	}
	// The new window takes the cursor state before it appears. The cover is mapped first: a
	// compositor that stacks X windows in the order they appear (sway, through XWayland) then
	// keeps the window above it too.
	ApplyCursor();
	if (fCover && fCoverFrame == window->Get())
		fCover->Show();
	window->Show();
	fWindows.push_back(std::move(window));
	SDL_StartTextInput();
}

bool SdlDisplay::CloseWindow(SdlWindow* window)
{
	struct Closing
	{
		SdlWindow* window;
		X11ScreenCover* cover;
	};
	// The cover belongs to the first window: the screen is given back with it.
	const bool frame = window != nullptr && window->Get() == fCoverFrame;
	Closing closing = {window, frame ? fCover.get() : nullptr};
	const bool closed = RunGuardedAgainstXLoss(
	    [](void* context) {
		    const Closing& what = *static_cast<const Closing*>(context);
		    if (what.window != nullptr)
			    what.window->Destroy();
		    if (what.cover != nullptr)
			    what.cover->Close();
	    },
	    &closing);
	if (closed && frame) {
		fCover.reset();
		fCoverFrame = nullptr;
	}
	return closed && !LookForHangUp();
}

void SdlDisplay::CloseAll()
{
	if (!LookForHangUp()) {
		// The windows in the order they came, the cover with the first.
		while (!fWindows.empty() && CloseWindow(fWindows.front().get()))
			fWindows.erase(fWindows.begin());
	}
	if (fWindows.empty() && !fCover && !LookForHangUp()) {
		if (fConnection)
			fConnection->Forget();
		fWaylandConnection.reset();
		if (RunGuardedAgainstXLoss([](void* session) { static_cast<SdlSession*>(session)->Quit(); },
		                           fSession.get()))
			return;
	}
	// The X server went during the exit: what is left stays to SDL, untouched, and the process
	// ends as it would have.
	for (const std::unique_ptr<SdlWindow>& window : fWindows)
		window->Abandon();
	if (fCover)
		fCover->Abandon();
	fSession->Abandon();
}

void SdlDisplay::WaitForWork(bigtime_t deadline)
{
	std::unique_lock<std::mutex> lock(fLock);
	const auto queued = [this] { return fWorkQueued; };
	if (deadline == B_INFINITE_TIMEOUT) {
		fWorkCondition.wait(lock, queued);
		return;
	}
	const bigtime_t remaining = deadline - system_time();
	if (remaining > 0)
		fWorkCondition.wait_for(lock, std::chrono::microseconds(WaitSlice(remaining)), queued);
}

} // namespace BPrivate
