#include "support/DrawnQuestion.h"

#include <stdlib.h>

#include <Application.h>
#include <Window.h>

#include "MessageLines.h"
#include "ResetView.h"
#include "interface/Framebuffer.h"
#include "interface/WindowClient.h"
#include "support/TempDirectory.h"

namespace VelmoTest {

namespace {

// An environment variable set for a while, then put back as it was.
class ScopedVariable
{
public:
	ScopedVariable(const char* name, const std::string& value) : fName(name)
	{
		const char* old = getenv(name);
		fHad = old != nullptr;
		if (fHad)
			fOld = old;
		setenv(name, value.c_str(), 1);
	}
	~ScopedVariable()
	{
		if (fHad)
			setenv(fName, fOld.c_str(), 1);
		else
			unsetenv(fName);
	}

private:
	const char* fName;
	bool fHad = false;
	std::string fOld;
};

} // namespace

ImageFiles::Image DrawnTextArea(const std::string& line1, const std::string& line2)
{
	PlatformRootDirectory root;
	ScopedVariable rootVariable("BEOS_ROOT", root.Path());
	ScopedVariable display("BEOS_DISPLAY", "headless");
	BApplication* application = new BApplication("application/x-vnd.velmo-drawn-question");
	M_ShowMessage(line1.c_str(), line2.c_str());
	BWindow* window =
	    new BWindow(BRect(0, 0, 1023, 767), "", B_BORDERED_WINDOW, 0, B_ALL_WORKSPACES);
	ResetView* view = new ResetView(window->Bounds());
	window->AddChild(view);
	// One pulse, as the window's thread gives it, with the window locked.
	window->Lock();
	view->Pulse();
	window->Unlock();

	ImageFiles::Image area;
	area.width = kTextAreaRight - kTextAreaLeft + 1;
	area.height = kTextAreaBottom - kTextAreaTop + 1;
	BPrivate::Framebuffer& framebuffer = BPrivate::FramebufferOf(*window);
	for (int32 y = kTextAreaTop; y <= kTextAreaBottom; y++) {
		for (int32 x = kTextAreaLeft; x <= kTextAreaRight; x++) {
			const rgb_color color = framebuffer.PixelAt(x, y);
			area.pixels.push_back((uint32)color.red << 16 | (uint32)color.green << 8 | color.blue);
		}
	}
	window->Lock();
	window->Quit();
	delete application;
	return area;
}

} // namespace VelmoTest
