#include "support/HeadlessProgram.h"

namespace VelmoTest {

ProgramRun::Options HeadlessOptions(const PlatformRootDirectory& root)
{
	ProgramRun::Options options;
	options.environment["BEOS_ROOT"] = root.Path();
	options.environment["BEOS_DISPLAY"] = "headless";
	options.unsetEnvironment = {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"};
	return options;
}

} // namespace VelmoTest
