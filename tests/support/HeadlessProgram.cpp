#include "support/HeadlessProgram.h"

namespace VelmoTest {

ProgramRun::Options HeadlessOptions(const PlatformRootDirectory& root)
{
	ProgramRun::Options options;
	options.environment["BEOS_ROOT"] = root.Path();
	options.environment["BEOS_DISPLAY"] = "headless";
	// A service manager the tests themselves run under is none of the program's business.
	options.unsetEnvironment = {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER", "NOTIFY_SOCKET"};
	return options;
}

} // namespace VelmoTest
