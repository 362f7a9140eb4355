#include "support/XKeyboardHolder.h"

#include <X11/Xlib.h>

namespace VelmoTest {

XKeyboardHolder::XKeyboardHolder(const std::string& displayName)
    : fDisplay(XOpenDisplay(displayName.c_str()))
{
	if (fDisplay == nullptr)
		return;
	// Override-redirect: mapped at once, whatever window manager runs.
	XSetWindowAttributes attributes = {};
	attributes.override_redirect = True;
	fWindow = XCreateWindow(fDisplay, DefaultRootWindow(fDisplay), 0, 0, 10, 10, 0, CopyFromParent,
	                        InputOnly, CopyFromParent, CWOverrideRedirect, &attributes);
	XMapWindow(fDisplay, fWindow);
	// A grab needs a viewable window: the map is done once the server has answered.
	XSync(fDisplay, False);
	fHeld = XGrabKeyboard(fDisplay, fWindow, False, GrabModeAsync, GrabModeAsync, CurrentTime) ==
	        GrabSuccess;
}

XKeyboardHolder::~XKeyboardHolder()
{
	if (fDisplay != nullptr)
		XCloseDisplay(fDisplay);
}

void XKeyboardHolder::Release()
{
	if (fDisplay == nullptr)
		return;
	XUngrabKeyboard(fDisplay, CurrentTime);
	XSync(fDisplay, False);
	fHeld = false;
}

} // namespace VelmoTest
