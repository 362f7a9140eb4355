#include "interface/sdl/SdlDisplay.h"

#include <glob.h>
#include <sys/stat.h>

#include <algorithm>
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
#include "interface/sdl/SdlHandles.h"
#include "interface/sdl/SdlKeys.h"
#include "interface/sdl/SdlWindow.h"
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

bool IsStandIn(const char* driver)
{
	return strcmp(driver, "offscreen") == 0 || strcmp(driver, "dummy") == 0;
}

// How a Dispatch waits for events while windows exist. SDL_WaitEventTimeout sleeps in the driver
// (on the X or Wayland connection, woken by SDL_PushEvent) only where the driver can; elsewhere
// (KMS/DRM, whose keyboard SDL reads from evdev) it wakes every millisecond to look, and a slower
// look of our own does better. The stand-ins have no events at all.
enum class WaitStyle
{
	kInDriver,
	kPolling,
	kForWorkOnly,
};

constexpr bigtime_t kPollInterval = 10000;

WaitStyle WaitStyleFor(const char* driver)
{
	if (strcmp(driver, "x11") == 0 || strcmp(driver, "wayland") == 0)
		return WaitStyle::kInDriver;
	return IsStandIn(driver) ? WaitStyle::kForWorkOnly : WaitStyle::kPolling;
}

// Threads: see Display. The main thread owns every SDL call and fWindows; the others only touch
// what fLock guards and push the wake event, which SDL allows from any thread.
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
	const char* Name() const override { return fName.c_str(); }

private:
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
}

void SdlDisplay::AddClient(DisplayClient* client)
{
	std::lock_guard<std::mutex> guard(fLock);
	if (std::find(fAdded.begin(), fAdded.end(), client) == fAdded.end())
		fAdded.push_back(client);
	WakeLocked();
}

void SdlDisplay::RemoveClient(DisplayClient* client)
{
	{
		std::lock_guard<std::mutex> guard(fLock);
		std::erase(fAdded, client);
		std::erase(fInvalid, client);
	}
	std::erase_if(fWindows, [client](const std::unique_ptr<SdlWindow>& window) {
		return &window->Client() == client;
	});
}

void SdlDisplay::Invalidate(DisplayClient* client)
{
	std::lock_guard<std::mutex> guard(fLock);
	if (std::find(fInvalid.begin(), fInvalid.end(), client) == fInvalid.end())
		fInvalid.push_back(client);
	WakeLocked();
}

void SdlDisplay::HideCursor()
{
	std::lock_guard<std::mutex> guard(fLock);
	fHideLevel++;
	WakeLocked();
}

void SdlDisplay::ShowCursor()
{
	std::lock_guard<std::mutex> guard(fLock);
	// The cursor shows at level 0; a show too many does not bank a future hide.
	if (fHideLevel > 0)
		fHideLevel--;
	WakeLocked();
}

void SdlDisplay::Wake()
{
	std::lock_guard<std::mutex> guard(fLock);
	WakeLocked();
}

void SdlDisplay::WakeLocked()
{
	fWorkQueued = true;
	fWorkCondition.notify_one();
	if (fWakePending)
		return;
	SDL_Event event = {};
	event.type = fWakeEvent;
	// Fails only when SDL's queue is full, and then the main thread has events to handle
	// anyway; the next call tries again.
	fWakePending = SDL_PushEvent(&event) == 1;
}

void SdlDisplay::Dispatch(bigtime_t deadline)
{
	DoQueuedWork();

	SDL_Event event;
	bool haveEvent;
	if (fWaitStyle == WaitStyle::kInDriver && !fWindows.empty()) {
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
	while (haveEvent) {
		HandleEvent(event);
		haveEvent = SDL_PollEvent(&event) == 1;
	}

	// Whatever woke the wait is shown in this round rather than the next.
	DoQueuedWork();
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
		std::unique_ptr<SdlWindow> window = SdlWindow::Create(*client);
		if (!window)
			continue;
		// The new window takes the cursor state before it appears.
		ApplyCursor();
		window->Show();
		fWindows.push_back(std::move(window));
		client->DisplayShown();
		SDL_StartTextInput();
	}
	for (DisplayClient* client : invalid) {
		if (SdlWindow* window = WindowOf(client))
			window->PresentDamage();
	}
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
	case SDL_QUIT:
		// The window manager asked to close the last window (SDL's signal handlers are
		// off, so nothing else sends this). A reset utility on a dedicated machine must
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
// compositor named in the environment, or a DRM device for a console kiosk.
bool AnyScreenPossible()
{
	if (HasEnvironment("DISPLAY") || HasEnvironment("WAYLAND_DISPLAY"))
		return true;
	// A compositor's default socket, which Wayland clients find without WAYLAND_DISPLAY.
	struct stat socketStat;
	if (HasEnvironment("XDG_RUNTIME_DIR")
		&& stat((std::string(getenv("XDG_RUNTIME_DIR")) + "/wayland-0").c_str(), &socketStat) == 0)
		return true;
	glob_t cards;
	bool found = glob("/dev/dri/card*", 0, nullptr, &cards) == 0 && cards.gl_pathc > 0;
	globfree(&cards);
	return found;
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
	if (SDL_Init(SDL_INIT_VIDEO) != 0) {
		if (named)
			fprintf(stderr, "sdl: cannot start video driver %s: %s\n", requested, SDL_GetError());
		return nullptr;
	}
	auto session = std::make_unique<SdlSession>();
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
