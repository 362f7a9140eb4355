// The one place the display backend is chosen.

#include "interface/Display.h"

#include <stdlib.h>
#include <string.h>

#include "interface/headless/HeadlessDisplay.h"

namespace BPrivate {

std::unique_ptr<Display> CreateDisplay()
{
	return std::make_unique<HeadlessDisplay>();
}

} // namespace BPrivate
