#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <OS.h>
#include <SDL.h>

#include "interface/Display.h"
#include "interface/sdl/SdlHandles.h"
#include "interface/sdl/SdlWindow.h"
#include "interface/sdl/WaylandConnection.h"
#include "interface/sdl/X11Connection.h"
#include "interface/sdl/X11ScreenCover.h"
#include "support/FileDescriptor.h"

namespace BPrivate {

// A display on a real screen through SDL2, or null when SDL has no real video driver here (it
// would fall back to its offscreen or dummy driver by itself). A driver named explicitly in
// SDL_VIDEODRIVER is honoured, dummy included. Called on the main thread (SdlDisplayStart.cpp).
std::unique_ptr<Display> CreateSdlDisplay();

// Whether `driver` is one of SDL's stand-ins for a screen (offscreen, dummy).
bool IsSdlStandIn(const char* driver);
// The one line on standard error that says the screen is gone and the display goes on headless.
void ReportScreenLost();

// How a Dispatch waits for events while windows exist. SDL_WaitEventTimeout sleeps in the driver
// (on the Wayland connection, woken by SDL_PushEvent) only where the driver can; elsewhere
// (KMS/DRM, whose keyboard SDL reads from evdev) it wakes every millisecond to look, and a slower
// look of our own does better. On X the display sleeps on SDL's connection itself, woken by an
// event descriptor (see X11Connection: SDL's own wake-up would write to a second connection that
// could end the process once the server is gone). The stand-ins have no events at all.
enum class SdlWaitStyle
{
	kInDriver,
	kOnXConnection,
	kPolling,
	kForWorkOnly,
};

// Threads: see Display. The main thread owns every SDL call and fWindows; the others only touch
// what fLock guards and push the wake event, which SDL allows from any thread.
//
// On X the window owns the whole screen (X11ScreenCover); on Wayland it asks for the whole output
// (SdlWindow). When the connection to the screen breaks (X11Connection from SDL's start on,
// WaylandConnection from the first window on), the display says so in one line on standard
// error and goes on as a headless display (keys from the terminal), to which it hands its
// clients; SDL is never called again. Where the X server may go during a call that the
// connection's watch cannot cover (closing a window, SDL_Quit), the call runs under
// X11LossGuard: a reset that is done must not end with Xlib's status 1.
class SdlDisplay final : public Display
{
public:
	// `connection`: SDL's X connection, watched from now on; null on other drivers.
	SdlDisplay(std::unique_ptr<SdlSession> session, std::unique_ptr<X11Connection> connection,
	           Uint32 wakeEvent);
	~SdlDisplay() override;

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
	bool ScreenLost() const;
	// Looks at the connection's socket: see X11Connection and WaylandConnection.
	bool LookForHangUp();
	void GoHeadless();
	// Takes `window` (null: none) and, if it is the frame, the cover off the screen, under
	// X11LossGuard; false when the X server went during it.
	bool CloseWindow(SdlWindow* window);
	// SDL's last calls (every window, the cover, SDL_Quit), under X11LossGuard.
	void CloseAll();
	void ShowWindow(std::unique_ptr<SdlWindow> window);
	void WakeLocked();
	void DoQueuedWork();
	void WaitForWork(bigtime_t deadline);
	// Events (SdlDisplayEvents.cpp).
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
	const SdlWaitStyle fWaitStyle;

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

	// X only, from SDL's start on. Before the windows, so that they go first.
	std::unique_ptr<X11Connection> fConnection;
	// Wayland only, from the first window on.
	std::unique_ptr<WaylandConnection> fWaylandConnection;
	std::unique_ptr<X11ScreenCover> fCover;
	// The window the cover keeps on top.
	SDL_Window* fCoverFrame = nullptr;
	std::vector<std::unique_ptr<SdlWindow>> fWindows;
	bool fCursorHidden = false;
};

} // namespace BPrivate
