#include "interface/sdl/X11ScreenCover.h"

#include <algorithm>
#include <cstdio>

#include <X11/Xlib.h>

#include "interface/sdl/SdlWindowSystem.h"
#include "interface/sdl/X11PrimaryHead.h"

namespace BPrivate {

namespace {

// Raises this close together, this many in a row, are a war with another client.
constexpr bigtime_t kWarGap = 1000000;
constexpr int32 kWarRaises = 8;

} // namespace

std::unique_ptr<X11ScreenCover> X11ScreenCover::Create(_XDisplay* display, SDL_Window* frame)
{
	SDL_SysWMinfo info;
	if (!GetWindowSystemInfo(frame, SDL_SYSWM_X11, &info)) {
		fprintf(stderr, "sdl: the window is not an X window: %s\n", SDL_GetError());
		return nullptr;
	}
	const int screen = DefaultScreen(display);
	const Window root = RootWindow(display, screen);
	XWindowAttributes rootAttributes;
	if (!XGetWindowAttributes(display, root, &rootAttributes)) {
		fprintf(stderr, "sdl: cannot read the X root window's size\n");
		return nullptr;
	}
	XSetWindowAttributes attributes = {};
	attributes.override_redirect = True;
	attributes.background_pixel = BlackPixel(display, screen);
	// The server paints it black by itself; it needs no events.
	const Window cover = XCreateWindow(
	    display, root, 0, 0, static_cast<unsigned>(rootAttributes.width),
	    static_cast<unsigned>(rootAttributes.height), 0, CopyFromParent, InputOutput,
	    CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
	// Another top-level window mapped or restacked, and the root resized (RandR): added to
	// what SDL listens to on the root already.
	XSelectInput(display, root,
	             rootAttributes.your_event_mask | SubstructureNotifyMask | StructureNotifyMask);
	return std::unique_ptr<X11ScreenCover>(
	    new X11ScreenCover(display, info.info.x11.window, cover));
}

X11ScreenCover::X11ScreenCover(_XDisplay* display, unsigned long frame, unsigned long cover)
    : fDisplay(display), fFrame(frame), fCover(cover)
{
	// A one-pixel cursor with nothing set in its mask: invisible.
	char nothing = 0;
	const Pixmap empty = XCreateBitmapFromData(fDisplay, fCover, &nothing, 1, 1);
	XColor black = {};
	fBlankCursor = XCreatePixmapCursor(fDisplay, empty, empty, &black, &black, 0, 0);
	XFreePixmap(fDisplay, empty);

	// The frame's place from the primary head, kept when RandR moves that head.
	SDL_Rect head;
	XWindowAttributes attributes;
	if (X11PrimaryHead::Find(fDisplay, &head) &&
	    XGetWindowAttributes(fDisplay, fFrame, &attributes)) {
		fFollowsHead = true;
		fHeadX = head.x;
		fHeadY = head.y;
		fOffsetX = attributes.x - head.x;
		fOffsetY = attributes.y - head.y;
	}
}

X11ScreenCover::~X11ScreenCover()
{
	Close();
}

void X11ScreenCover::Close()
{
	if (fAbandoned)
		return;
	fAbandoned = true;
	if (fGrabbed)
		XUngrabKeyboard(fDisplay, CurrentTime);
	XDestroyWindow(fDisplay, fCover);
	XFreeCursor(fDisplay, fBlankCursor);
	XFlush(fDisplay);
}

void X11ScreenCover::Show()
{
	XMapWindow(fDisplay, fCover);
	Restack();
	TryGrab();
}

void X11ScreenCover::HandleEvent(const SDL_SysWMmsg& message)
{
	if (message.subsystem != SDL_SYSWM_X11)
		return;
	const XEvent& event = message.msg.x11.event;
	switch (event.type) {
	case MapNotify:
		if (event.xmap.window == fFrame) {
			// Mapped again after an unmap, which ended the grab.
			fRestackWanted = true;
			GrabAgain();
		} else if (event.xmap.window != fCover && event.xmap.event != event.xmap.window) {
			fRestackWanted = true;
		}
		break;
	case UnmapNotify:
		if (event.xunmap.window == fFrame)
			fGrabbed = false;
		break;
	case ConfigureNotify:
		if (event.xconfigure.window == DefaultRootWindow(fDisplay)) {
			// The server tells every change of the screen's outputs and monitors so.
			XResizeWindow(fDisplay, fCover, static_cast<unsigned>(event.xconfigure.width),
			              static_cast<unsigned>(event.xconfigure.height));
			fHeadCheckWanted = fFollowsHead;
		} else if (event.xconfigure.window != fFrame && event.xconfigure.window != fCover &&
		           event.xconfigure.event != event.xconfigure.window) {
			fRestackWanted = true;
		}
		break;
	case CirculateNotify:
		if (event.xcirculate.window != fFrame && event.xcirculate.window != fCover)
			fRestackWanted = true;
		break;
	default:
		break;
	}
}

void X11ScreenCover::SetPointerHidden(bool hidden)
{
	if (hidden)
		XDefineCursor(fDisplay, fCover, fBlankCursor);
	else
		XUndefineCursor(fDisplay, fCover);
	XFlush(fDisplay);
}

void X11ScreenCover::TryGrab()
{
	if (fGrabbed)
		return;
	const int result =
	    XGrabKeyboard(fDisplay, fFrame, False, GrabModeAsync, GrabModeAsync, CurrentTime);
	fGrabbed = result == GrabSuccess;
	fNextAttempt = fGrabbed ? B_INFINITE_TIMEOUT : system_time() + kGrabRetry;
}

void X11ScreenCover::GrabAgain()
{
	fGrabbed = false;
	TryGrab();
}

void X11ScreenCover::DoDueWork()
{
	const bigtime_t now = system_time();
	if (fHeadCheckWanted)
		FollowPrimaryHead();
	KeepOnTop(now);
	if (now >= fNextAttempt)
		TryGrab();
}

bigtime_t X11ScreenCover::NextDue() const
{
	if (fRestackWanted)
		return std::min(fNextAttempt, fLastRaise + kRaiseInterval);
	return fNextAttempt;
}

void X11ScreenCover::KeepOnTop(bigtime_t now)
{
	if (!fRestackWanted || now < fLastRaise + kRaiseInterval)
		return;
	fRestackWanted = false;
	if (OnTop())
		return;
	Restack();
	NoteRaise(now);
}

bool X11ScreenCover::OnTop() const
{
	// Most events change nothing above the frame (a client configuring windows it has not
	// mapped yet, say): one look at the stacking order first, bottom to top.
	Window root, parent;
	Window* children = nullptr;
	unsigned int count = 0;
	if (!XQueryTree(fDisplay, DefaultRootWindow(fDisplay), &root, &parent, &children, &count))
		return false;
	bool onTop = false;
	for (unsigned int index = count; index-- > 0;) {
		if (children[index] == fFrame) {
			onTop = index >= 1 && children[index - 1] == fCover;
			break;
		}
		XWindowAttributes attributes;
		// A window above that is not mapped hides nothing.
		if (XGetWindowAttributes(fDisplay, children[index], &attributes) &&
		    attributes.map_state != IsUnmapped)
			break;
	}
	XFree(children);
	return onTop;
}

void X11ScreenCover::NoteRaise(bigtime_t now)
{
	fRaisesInAWar = now - fLastRaise <= kWarGap ? fRaisesInAWar + 1 : 0;
	fLastRaise = now;
	if (fRaisesInAWar < kWarRaises || fWarReported)
		return;
	fWarReported = true;
	fprintf(stderr, "sdl: another client keeps raising its window above the screen; raising "
	                "ours again at most %d times a second\n",
	        static_cast<int>(1000000 / kRaiseInterval));
}

void X11ScreenCover::FollowPrimaryHead()
{
	fHeadCheckWanted = false;
	SDL_Rect head;
	if (!X11PrimaryHead::Find(fDisplay, &head) || (head.x == fHeadX && head.y == fHeadY))
		return;
	fHeadX = head.x;
	fHeadY = head.y;
	XMoveWindow(fDisplay, fFrame, head.x + fOffsetX, head.y + fOffsetY);
	XFlush(fDisplay);
}

void X11ScreenCover::Restack()
{
	// The frame first, then the cover right below it: at no moment is the frame covered, which
	// would cost it its pixels and a repaint.
	XRaiseWindow(fDisplay, fFrame);
	XWindowChanges below = {};
	below.sibling = fFrame;
	below.stack_mode = Below;
	XConfigureWindow(fDisplay, fCover, CWSibling | CWStackMode, &below);
	XFlush(fDisplay);
}

} // namespace BPrivate
