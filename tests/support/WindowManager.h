#pragma once

#include <memory>
#include <string>

#include "support/TempDirectory.h"
#include "support/Xvfb.h"

namespace VelmoTest {

// A window manager (openbox) on a test's X server, its files in a directory of its own, never
// the user's home. Ended and reaped when the object goes.
class WindowManager
{
public:
	// Starts it and waits (20 s at most) until it manages every window mapped from then on; null
	// with the reason in *error when it does not get there.
	//
	// Its mark on the root window (_NET_SUPPORTING_WM_CHECK) comes too early for that: it is set
	// while openbox still starts, and a window mapped in that time can wait unmanaged, and
	// unseen, until some other event reaches openbox. What it runs once started is the later sign.
	static std::unique_ptr<WindowManager> Start(const Xvfb& server, std::string* error);

private:
	WindowManager() = default;

	bool Started() const;

	TempDirectory fHome{"velmo-openbox-home"};
	std::unique_ptr<Xvfb::Process> fProcess;
};

} // namespace VelmoTest
