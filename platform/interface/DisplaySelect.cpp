// The one place the display backend is chosen.

#include "interface/Display.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "app/ServiceNotifier.h"
#include "interface/drm/DrmDisplay.h"
#include "interface/headless/HeadlessDisplay.h"
#include "interface/sdl/SdlDisplay.h"

namespace BPrivate {

namespace {

bool HasEnvironment(const char* name)
{
	const char* value = getenv(name);
	return value != NULL && value[0] != '\0';
}

} // namespace

// In order: an X display (DISPLAY), a Wayland compositor (WAYLAND_DISPLAY), or one SDL is told to
// use (SDL_VIDEODRIVER); else the console's own screen (a graphics card this process can drive);
// else none. Unless the first is taken (or the one named), one line on standard error names the
// display and why.
// Where a screen was to be had and none could be used, the service manager's status says so.
std::unique_ptr<Display> CreateDisplay()
{
	const char* choice = getenv("BEOS_DISPLAY");
	if (choice != NULL && strcmp(choice, "headless") == 0)
		return std::make_unique<HeadlessDisplay>();

	const bool x11 = HasEnvironment("DISPLAY");
	const bool driverNamed = HasEnvironment("SDL_VIDEODRIVER");
	const bool named = x11 || HasEnvironment("WAYLAND_DISPLAY") || driverNamed;
	std::string missed;
	if (named) {
		if (std::unique_ptr<Display> display = CreateSdlDisplay()) {
			if (!driverNamed && strcmp(display->Name(), "sdl:x11") != 0)
				fprintf(stderr, "display: %s, %s\n", display->Name(),
				        x11 ? "X11 did not start" : "no DISPLAY");
			return display;
		}
		missed = x11 ? std::string("DISPLAY=") + getenv("DISPLAY") + " did not open"
		             : "the display named in the environment did not open";
	}

	std::string outcome;
	bool cardFound = false;
	if (std::unique_ptr<Display> display = CreateDrmDisplay(&outcome, &cardFound)) {
		fprintf(stderr, "display: drm (%s), %s\n", outcome.c_str(),
		        named ? missed.c_str() : "no DISPLAY or WAYLAND_DISPLAY");
		return display;
	}

	std::string reason = missed;
	if (cardFound || !named)
		reason += (reason.empty() ? "" : "; ") + outcome;
	fprintf(stderr, "display: headless, %s%s\n", named ? "" : "no DISPLAY or WAYLAND_DISPLAY, ",
	        reason.c_str());
	if (named || cardFound)
		ServiceNotifier::Default().ScreenMissing(reason);
	return std::make_unique<HeadlessDisplay>();
}

} // namespace BPrivate
