#include "interface/sdl/SdlDisplay.h"

#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cassert>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <OS.h>
#include <SDL.h>

#include "interface/Utf8.h"
#include "interface/headless/HeadlessDisplay.h"
#include "interface/sdl/SdlHandles.h"
#include "interface/sdl/SdlKeys.h"
#include "interface/sdl/SdlWindow.h"
#include "interface/sdl/WaylandConnection.h"
#include "interface/sdl/WaylandSeatProbe.h"
#include "interface/sdl/X11Connection.h"
#include "interface/sdl/X11ScreenCover.h"
#include "kernel/Time.h"
#include "support/FileDescriptor.h"

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

bool IsStandIn(const char* driver)
{
	return strcmp(driver, "offscreen") == 0 || strcmp(driver, "dummy") == 0;
}

// How a Dispatch waits for events while windows exist. SDL_WaitEventTimeout sleeps in the driver
// (on the Wayland connection, woken by SDL_PushEvent) only where the driver can; elsewhere
// (KMS/DRM, whose keyboard SDL reads from evdev) it wakes every millisecond to look, and a slower
// look of our own does better. On X the display sleeps on SDL's connection itself, woken by an
// event descriptor (see X11Connection: SDL's own wake-up would write to a second connection that
// could end the process once the server is gone). The stand-ins have no events at all.
enum class WaitStyle
{
	kInDriver,
	kOnXConnection,
	kPolling,
	kForWorkOnly,
};

constexpr bigtime_t kPollInterval = 10000;

WaitStyle WaitStyleFor(const char* driver)
{
	if (strcmp(driver, "x11") == 0)
		return WaitStyle::kOnXConnection;
	if (strcmp(driver, "wayland") == 0)
		return WaitStyle::kInDriver;
	return IsStandIn(driver) ? WaitStyle::kForWorkOnly : WaitStyle::kPolling;
}

// Threads: see Display. The main thread owns every SDL call and fWindows; the others only touch
// what fLock guards and push the wake event, which SDL allows from any thread.
//
// On X the window owns the whole screen (X11ScreenCover); on Wayland it asks for the whole output
// (SdlWindow). When the connection to the screen breaks (X11Connection, WaylandConnection), the display says so in one line on standard error and goes on as a headless display
// (keys from the terminal), to which it hands its clients; SDL is never called again.
class SdlDisplay final : public Display
{
public:
	SdlDisplay(std::unique_ptr<SdlSession> session, Uint32 wakeEvent);

	void AddClient(DisplayClient* client) override;
	void RemoveClient(DisplayClient* client) override;
	void Invalidate(DisplayClient* client) override;
	void HideCursor() override;
	void ShowCursor() override;
	void Wake() override;
	void Dispatch(bigtime_t deadline) override;
	const char* Name() const override;

private:
	// The headless display this one became when its screen went away, or null.
	Display* Fallback() const { return fFallbackView.load(std::memory_order_acquire); }
	bool ScreenLost() const
	{
		return (fConnection && fConnection->Lost()) ||
		       (fWaylandConnection && fWaylandConnection->Lost());
	}
	// Looks at the connection's socket: see X11Connection and WaylandConnection.
	bool LookForHangUp()
	{
		return (fConnection && fConnection->LookForHangUp()) ||
		       (fWaylandConnection && fWaylandConnection->LookForHangUp());
	}
	void GoHeadless();
	void ShowWindow(std::unique_ptr<SdlWindow> window);
	void WakeLocked();
	void DoQueuedWork();
	void WaitForWork(bigtime_t deadline);
	void HandleEvent(const SDL_Event& event);
	void HandleWindowEvent(const SDL_WindowEvent& event);
	void HandleKeyDown(const SDL_KeyboardEvent& event);
	void HandleText(const SDL_TextInputEvent& event);
	void ApplyCursor();
	SdlWindow* WindowWithId(Uint32 id) const;
	SdlWindow* WindowOf(DisplayClient* client) const;
	SdlWindow* KeyboardWindow(Uint32 eventWindowId) const;

	// First, so that SDL_Quit comes after every window below is gone.
	std::unique_ptr<SdlSession> fSession;
	const Uint32 fWakeEvent;
	const std::string fName;
	// Without a window SDL has nothing to wait on either and would poll: then, and for the
	// drivers that cannot wait, Dispatch sleeps on fWorkQueued.
	const WaitStyle fWaitStyle;

	std::mutex fLock;
	std::condition_variable fWorkCondition;
	std::vector<DisplayClient*> fAdded;
	std::vector<DisplayClient*> fInvalid;
	int32 fHideLevel = 0;
	// Something above changed, or Wake was called, since the main thread last looked.
	bool fWorkQueued = false;
	// A wake event is in SDL's queue and the main thread has not seen it yet: there is no need
	// for another, which keeps a storm of invalidations from filling SDL's queue.
	bool fWakePending = false;

	// X only: what wakes Dispatch from its wait on the connection; written while fWakePending
	// is false.
	FileDescriptor fWakeDescriptor;

	// The headless display, once the screen is gone; set once, under fLock, by the main thread.
	std::unique_ptr<Display> fFallback;
	std::atomic<Display*> fFallbackView{nullptr};

	// X only, from the first window on. Before the windows, so that they go first.
	std::unique_ptr<X11Connection> fConnection;
	// Wayland only, from the first window on.
	std::unique_ptr<WaylandConnection> fWaylandConnection;
	std::unique_ptr<X11ScreenCover> fCover;
	// The window the cover keeps on top.
	SDL_Window* fCoverFrame = nullptr;
	std::vector<std::unique_ptr<SdlWindow>> fWindows;
	bool fCursorHidden = false;
};

SdlDisplay::SdlDisplay(std::unique_ptr<SdlSession> session, Uint32 wakeEvent)
    : fSession(std::move(session)), fWakeEvent(wakeEvent),
      fName(std::string("sdl:") + SDL_GetCurrentVideoDriver()),
      fWaitStyle(WaitStyleFor(SDL_GetCurrentVideoDriver()))
{
	// Printable keys arrive as text events only (see SdlKeys.h).
	SDL_StartTextInput();
	if (fWaitStyle == WaitStyle::kOnXConnection) {
		fWakeDescriptor = FileDescriptor(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
		// The screen cover follows other clients' windows through the raw X events.
		SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
	}
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
	if (Display* fallback = Fallback()) {
		fallback->RemoveClient(client);
		return;
	}
	std::erase_if(fWindows, [client](const std::unique_ptr<SdlWindow>& window) {
		return &window->Client() == client;
	});
	// The cover belongs to the first window: the screen is given back with it.
	if (fCover && std::none_of(fWindows.begin(), fWindows.end(),
	                           [this](const std::unique_ptr<SdlWindow>& window) {
		                           return window->Get() == fCoverFrame;
	                           })) {
		fCover.reset();
		fCoverFrame = nullptr;
	}
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
	if (fWaitStyle == WaitStyle::kOnXConnection && fConnection && !fWindows.empty()) {
		// Whatever DoQueuedWork made SDL queue is handled before any wait.
		if (!SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT)) {
			const bigtime_t grabDue = fCover ? fCover->NextAttempt() : B_INFINITE_TIMEOUT;
			fConnection->Wait(fWakeDescriptor.Get(), std::min(deadline, grabDue));
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
	} else if (fWaitStyle == WaitStyle::kInDriver && !fWindows.empty()) {
		const int timeout = TimeoutFor(deadline);
		haveEvent =
		    timeout < 0 ? SDL_WaitEvent(&event) == 1 : SDL_WaitEventTimeout(&event, timeout) == 1;
	} else {
		if (fWaitStyle == WaitStyle::kPolling && !fWindows.empty())
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
	if (fCover && !ScreenLost()) {
		fCover->KeepOnTop();
		if (system_time() >= fCover->NextAttempt())
			fCover->TryGrab();
	}
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
	fprintf(stderr, "sdl: the connection to the screen is gone; going on without one, keys from "
	                "the terminal\n");
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
	for (DisplayClient* client : added) {
		if (WindowOf(client) != nullptr)
			continue;
		if (std::unique_ptr<SdlWindow> window = SdlWindow::Create(*client)) {
			ShowWindow(std::move(window));
			client->DisplayShown();
		}
	}
	for (DisplayClient* client : invalid) {
		if (SdlWindow* window = WindowOf(client))
			window->PresentDamage();
	}
}

void SdlDisplay::ShowWindow(std::unique_ptr<SdlWindow> window)
{
	if (fWaitStyle == WaitStyle::kOnXConnection) {
		// Before the window is shown, so that a loss while it is shown is survived.
		if (!fConnection)
			fConnection = X11Connection::ForWindow(window->Get());
		if (fConnection && !fCover) {
			fCover = X11ScreenCover::Create(fConnection->Get(), window->Get());
			fCoverFrame = fCover ? window->Get() : nullptr;
		}
	} else if (fWaitStyle == WaitStyle::kInDriver && !fWaylandConnection) {
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

void SdlDisplay::HandleEvent(const SDL_Event& event)
{
	switch (event.type) {
	case SDL_KEYDOWN:
		HandleKeyDown(event.key);
		break;
	case SDL_TEXTINPUT:
		HandleText(event.text);
		break;
	case SDL_WINDOWEVENT:
		HandleWindowEvent(event.window);
		break;
	case SDL_RENDER_TARGETS_RESET:
	case SDL_RENDER_DEVICE_RESET:
		for (const std::unique_ptr<SdlWindow>& window : fWindows)
			window->RecreateTexture();
		break;
	case SDL_SYSWMEVENT:
		if (fCover)
			fCover->HandleEvent(*event.syswm.msg);
		break;
	case SDL_QUIT:
		// The window manager asked to close the last window (SDL's signal handlers are
		// off, so nothing else sends this), or SDL lost the Wayland compositor (Dispatch
		// looks for that before the next event). A reset utility on a dedicated machine must
		// not be closed from outside, and the display cannot hand a quit request to the
		// application anyway: the window stays.
		break;
	default:
		if (event.type == fWakeEvent) {
			std::lock_guard<std::mutex> guard(fLock);
			fWakePending = false;
		}
		break;
	}
}

void SdlDisplay::HandleWindowEvent(const SDL_WindowEvent& event)
{
	SdlWindow* window = WindowWithId(event.windowID);
	if (window == nullptr)
		return;
	switch (event.event) {
	case SDL_WINDOWEVENT_SHOWN:
		// Mapped again (after an unmap): the keyboard goes with it.
		window->TakeFocus();
		window->PresentAll();
		break;
	case SDL_WINDOWEVENT_EXPOSED:
	case SDL_WINDOWEVENT_RESTORED:
	case SDL_WINDOWEVENT_SIZE_CHANGED:
		// The screen lost what it showed; the framebuffer still has it all, so the views
		// are not asked to paint again.
		window->PresentAll();
		break;
	case SDL_WINDOWEVENT_FOCUS_GAINED:
		ApplyCursor();
		if (fCover)
			fCover->GrabAgain();
		break;
	case SDL_WINDOWEVENT_FOCUS_LOST:
		// The keyboard stays with the window all the same.
		if (fCover)
			fCover->GrabAgain();
		break;
	default:
		break;
	}
}

void SdlDisplay::HandleKeyDown(const SDL_KeyboardEvent& event)
{
	const uint8 key = BeKeyForSdlKey(event.keysym.sym);
	if (key == 0)
		return;
	if (SdlWindow* window = KeyboardWindow(event.windowID)) {
		const char byte = static_cast<char>(key);
		window->Client().DisplayKeyDown(&byte, 1);
	}
}

void SdlDisplay::HandleText(const SDL_TextInputEvent& event)
{
	SdlWindow* window = KeyboardWindow(event.windowID);
	if (window == nullptr)
		return;
	// One key a character: an input method may commit several at once.
	const char* cursor = event.text;
	const char* const end = cursor + strnlen(event.text, sizeof(event.text));
	while (cursor < end) {
		const char* const character = cursor;
		const uint32 code = DecodeUtf8(cursor, end);
		// A byte that starts no well-formed character decodes as U+FFFD one byte long: it is
		// dropped rather than handed on as a key.
		if (code == kReplacementCharacter && cursor - character == 1)
			continue;
		window->Client().DisplayKeyDown(character, static_cast<int32>(cursor - character));
	}
}

void SdlDisplay::ApplyCursor()
{
	SDL_ShowCursor(fCursorHidden ? SDL_DISABLE : SDL_ENABLE);
	// SDL_ShowCursor does nothing when its state does not change; SDL_SetCursor(NULL) puts the
	// state on every window again, a new one included.
	SDL_SetCursor(nullptr);
	if (fCover)
		fCover->SetPointerHidden(fCursorHidden);
}

SdlWindow* SdlDisplay::WindowWithId(Uint32 id) const
{
	for (const std::unique_ptr<SdlWindow>& window : fWindows) {
		if (window->Id() == id)
			return window.get();
	}
	return nullptr;
}

SdlWindow* SdlDisplay::WindowOf(DisplayClient* client) const
{
	for (const std::unique_ptr<SdlWindow>& window : fWindows) {
		if (&window->Client() == client)
			return window.get();
	}
	return nullptr;
}

SdlWindow* SdlDisplay::KeyboardWindow(Uint32 eventWindowId) const
{
	if (SdlWindow* window = WindowWithId(eventWindowId))
		return window;
	if (SDL_Window* focus = SDL_GetKeyboardFocus()) {
		if (SdlWindow* window = WindowWithId(SDL_GetWindowID(focus)))
			return window;
	}
	return fWindows.size() == 1 ? fWindows.front().get() : nullptr;
}

bool HasEnvironment(const char* name)
{
	const char* value = getenv(name);
	return value != nullptr && value[0] != '\0';
}

// Whether one of SDL's real video drivers could find a screen: an X server or a Wayland
// compositor named in the environment. A console is the DRM display's (interface/drm/).
bool AnyScreenPossible()
{
	if (HasEnvironment("DISPLAY") || HasEnvironment("WAYLAND_DISPLAY"))
		return true;
	// A compositor's default socket, which Wayland clients find without WAYLAND_DISPLAY.
	struct stat socketStat;
	if (HasEnvironment("XDG_RUNTIME_DIR")
		&& stat((std::string(getenv("XDG_RUNTIME_DIR")) + "/wayland-0").c_str(), &socketStat) == 0)
		return true;
	return false;
}

} // namespace

std::unique_ptr<Display> CreateSdlDisplay()
{
	// SDL's video state is the process's: two displays would shut each other down.
	assert(SDL_WasInit(SDL_INIT_VIDEO) == 0);

	// The application kit handles SIGINT, SIGTERM and SIGHUP itself (the terminal is restored and
	// the process ends by the signal); SDL would turn them into an SDL_QUIT that nobody acts on.
	SDL_SetHintWithPriority(SDL_HINT_NO_SIGNAL_HANDLERS, "1", SDL_HINT_OVERRIDE);
	// SDL's default stands: the screensaver is held off while the display runs. The prompt must
	// be readable whenever the operator looks, and the key that would wake a blanked screen
	// would also reach the dialogue.

	const char* requested = getenv("SDL_VIDEODRIVER");
	const bool named = requested != nullptr && requested[0] != '\0';
	// Unless a driver is named, SDL tries each real one in turn; where none can have a screen
	// here, it only prints the failures of its probes (libwayland's "XDG_RUNTIME_DIR is invalid"
	// on a text console, say). Skip SDL then.
	if (!named && !AnyScreenPossible())
		return nullptr;
	// Nor does SDL go on to its console driver (KMSDRM) when X and Wayland fail, or to a Wayland
	// compositor nobody named when X fails.
	if (!named) {
		const bool x11Only = HasEnvironment("DISPLAY") && !HasEnvironment("WAYLAND_DISPLAY");
		SDL_SetHint(SDL_HINT_VIDEODRIVER, x11Only ? "x11" : "x11,wayland");
	}
	// SDL takes a Wayland compositor when it is named or when there is no X display beside it.
	const bool waylandFirst = named ? strcmp(requested, "wayland") == 0 : !HasEnvironment("DISPLAY");
	if (waylandFirst && ProbeWaylandSeat() == WaylandSeat::kNone) {
		// SDL 2.26 would crash in SDL_Init.
		if (HasEnvironment("DISPLAY")) {
			fprintf(stderr, "sdl: the Wayland compositor offers no seat; using X11 instead\n");
			SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, "x11", SDL_HINT_OVERRIDE);
		} else {
			fprintf(stderr, "sdl: the Wayland compositor offers no seat; going on without a "
			                "screen, keys from the terminal\n");
			return nullptr;
		}
	}
	if (SDL_Init(SDL_INIT_VIDEO) != 0) {
		if (named)
			fprintf(stderr, "sdl: cannot start video driver %s: %s\n", requested, SDL_GetError());
		return nullptr;
	}
	auto session = std::make_unique<SdlSession>();
	// On X the windows are override-redirect: no window manager places, decorates or stacks
	// them, and the display keeps them above every other window itself (X11ScreenCover).
	if (strcmp(SDL_GetCurrentVideoDriver(), "x11") == 0)
		SDL_SetHintWithPriority(SDL_HINT_X11_FORCE_OVERRIDE_REDIRECT, "1", SDL_HINT_OVERRIDE);
	// SDL falls back to a stand-in by itself when there is no screen (no DISPLAY, say); then the
	// headless display serves better: its keyboard is the terminal.
	if (!named && IsStandIn(SDL_GetCurrentVideoDriver()))
		return nullptr;

	const Uint32 wakeEvent = SDL_RegisterEvents(1);
	if (wakeEvent == static_cast<Uint32>(-1)) {
		fprintf(stderr, "sdl: no user event left: %s\n", SDL_GetError());
		return nullptr;
	}
	return std::make_unique<SdlDisplay>(std::move(session), wakeEvent);
}

} // namespace BPrivate
