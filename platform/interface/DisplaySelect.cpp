// The one place the display backend is chosen.

#include "interface/Display.h"

#include <stdlib.h>
#include <string.h>

#include "interface/headless/HeadlessDisplay.h"
#include "interface/sdl/SdlDisplay.h"

namespace BPrivate {

std::unique_ptr<Display> CreateDisplay()
{
	const char* choice = getenv("BEOS_DISPLAY");
	if (choice == NULL || strcmp(choice, "headless") != 0) {
		if (std::unique_ptr<Display> display = CreateSdlDisplay())
			return display;
	}
	return std::make_unique<HeadlessDisplay>();
}

} // namespace BPrivate
