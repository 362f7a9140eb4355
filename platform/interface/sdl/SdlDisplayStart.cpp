// Starting SDL's video: whether to try at all, which driver, and what to watch from the start.

#include "interface/sdl/SdlDisplay.h"

#include <sys/stat.h>

#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "interface/sdl/SdlWindowSystem.h"
#include "interface/sdl/WaylandSeatProbe.h"
#include "interface/sdl/X11LossGuard.h"

namespace BPrivate {

namespace {

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
	if (HasEnvironment("XDG_RUNTIME_DIR") &&
	    stat((std::string(getenv("XDG_RUNTIME_DIR")) + "/wayland-0").c_str(), &socketStat) == 0)
		return true;
	return false;
}

// Whether SDL may go on to Wayland; when the compositor cannot serve, the other choice is taken
// and said. SDL 2.26 would crash in SDL_Init on a compositor without a seat, and wait for ever in
// it on one that never answers.
bool WaylandUsable()
{
	const WaylandSeat seat = ProbeWaylandSeat();
	if (seat != WaylandSeat::kNone && seat != WaylandSeat::kNoAnswer)
		return true;
	const char* const why = seat == WaylandSeat::kNone ? "offers no seat" : "does not answer";
	if (HasEnvironment("DISPLAY")) {
		fprintf(stderr, "sdl: the Wayland compositor %s; using X11 instead\n", why);
		SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, "x11", SDL_HINT_OVERRIDE);
		return true;
	}
	fprintf(stderr,
	        "sdl: the Wayland compositor %s; going on without a screen, keys from the "
	        "terminal\n",
	        why);
	return false;
}

// SDL_Init and, on X, SDL's connection, read from a window made for it alone: the connection is
// watched from the start (X11Connection), before the first real window. Run under X11LossGuard,
// so plain values only.
struct VideoStart
{
	bool started = false;
	_XDisplay* x11Display = nullptr;
};

void StartVideo(void* context)
{
	VideoStart& start = *static_cast<VideoStart*>(context);
	if (SDL_Init(SDL_INIT_VIDEO) != 0)
		return;
	start.started = true;
	if (strcmp(SDL_GetCurrentVideoDriver(), "x11") != 0)
		return;
	SDL_Window* probe = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_HIDDEN);
	SDL_SysWMinfo info;
	if (probe != nullptr && GetWindowSystemInfo(probe, SDL_SYSWM_X11, &info))
		start.x11Display = info.info.x11.display;
	SDL_DestroyWindow(probe);
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
	const bool waylandFirst =
	    named ? strcmp(requested, "wayland") == 0 : !HasEnvironment("DISPLAY");
	if (waylandFirst && !WaylandUsable())
		return nullptr;
	VideoStart start;
	if (!RunGuardedAgainstXLoss(StartVideo, &start)) {
		// SDL is left half started, and never called again.
		ReportScreenLost();
		return nullptr;
	}
	if (!start.started) {
		if (named)
			fprintf(stderr, "sdl: cannot start video driver %s: %s\n", requested, SDL_GetError());
		return nullptr;
	}
	auto session = std::make_unique<SdlSession>();
	std::unique_ptr<X11Connection> connection;
	if (strcmp(SDL_GetCurrentVideoDriver(), "x11") == 0) {
		if (start.x11Display == nullptr) {
			fprintf(stderr, "sdl: cannot reach SDL's X connection: %s\n", SDL_GetError());
			return nullptr;
		}
		connection = std::make_unique<X11Connection>(start.x11Display);
		// On X the windows are override-redirect: no window manager places, decorates or
		// stacks them, and the display keeps them above every other window itself
		// (X11ScreenCover).
		SDL_SetHintWithPriority(SDL_HINT_X11_FORCE_OVERRIDE_REDIRECT, "1", SDL_HINT_OVERRIDE);
	}
	// SDL falls back to a stand-in by itself when there is no screen (no DISPLAY, say); then the
	// headless display serves better: its keyboard is the terminal.
	if (!named && IsSdlStandIn(SDL_GetCurrentVideoDriver()))
		return nullptr;

	const Uint32 wakeEvent = SDL_RegisterEvents(1);
	if (wakeEvent == static_cast<Uint32>(-1)) {
		fprintf(stderr, "sdl: no user event left: %s\n", SDL_GetError());
		return nullptr;
	}
	return std::make_unique<SdlDisplay>(std::move(session), std::move(connection), wakeEvent);
}

} // namespace BPrivate
