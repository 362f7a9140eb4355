#pragma once

#include <memory>

#include <OS.h>
#include <SDL.h>

struct _XDisplay;

namespace BPrivate {

// Keeps an X screen to one window (the frame), which SDL made override-redirect so that no window
// manager places, decorates or stacks it:
// - a black override-redirect window, the cover, fills the whole root window, every head of a
//   Xinerama or RandR screen, just below the frame;
// - whenever another top-level window is mapped or restacked, the cover and then the frame are
//   raised again above it (with or without a window manager: neither window is the manager's),
//   at most once every kRaiseInterval: another client that keeps its own window on top the same
//   way would otherwise have the two raise in turn as fast as the server goes (said once on
//   standard error);
// - when the primary head changes (RandR), the frame moves with it;
// - the frame holds the keyboard (an active grab, so keys reach it whichever window has the
//   focus), tried again every kGrabRetry while another client holds it, and again after the frame
//   was unmapped; released when this goes;
// - the pointer can be made invisible over the cover too (the frame's own is SDL's).
//
// Why override-redirect rather than the window manager conventions (full-screen and above
// states): they need a window manager that honours them, and with none nothing keeps a later
// window below; override-redirect windows are stacked by their own client alone, which holds with
// any manager or none, and the frame stays exactly where SDL put it.
//
// Main thread only (SDL's connection). Every X event of the connection is to be handed to
// HandleEvent, then DoDueWork once the events at hand are handled and whenever NextDue has come.
class X11ScreenCover
{
public:
	static constexpr bigtime_t kGrabRetry = 100000;
	static constexpr bigtime_t kRaiseInterval = 250000;

	// A cover for `frame`, whose connection is `display`; null (with a line on standard error)
	// when it cannot be made.
	static std::unique_ptr<X11ScreenCover> Create(_XDisplay* display, SDL_Window* frame);
	~X11ScreenCover();

	X11ScreenCover(const X11ScreenCover&) = delete;
	X11ScreenCover& operator=(const X11ScreenCover&) = delete;

	// Maps the cover below the frame (already mapped) and tries to take the keyboard.
	void Show();
	// An X event of the connection, as SDL passes it on (SDL_SYSWMEVENT).
	void HandleEvent(const SDL_SysWMmsg& message);
	// Raises the frame and the cover again if an event since the last call may have put another
	// window above them and the last raise is long enough ago, moves the frame to the primary
	// head if that changed, and tries the keyboard grab again when that is due.
	void DoDueWork();
	// When DoDueWork has something to do next (system_time clock), or B_INFINITE_TIMEOUT.
	bigtime_t NextDue() const;
	void SetPointerHidden(bool hidden);
	// SDL gave the keyboard up: it releases any keyboard grab whenever its window gains or loses
	// the focus (it grabs only windows it was asked to grab, and only while they have the focus).
	void GrabAgain();
	// The connection broke: the destructor leaves the server alone.
	void Abandon() { fAbandoned = true; }
	// Gives the screen back now (what the destructor does otherwise), marked done first
	// (X11LossGuard).
	void Close();

private:
	X11ScreenCover(_XDisplay* display, unsigned long frame, unsigned long cover);

	void TryGrab();
	void KeepOnTop(bigtime_t now);
	bool OnTop() const;
	void Restack();
	void NoteRaise(bigtime_t now);
	void FollowPrimaryHead();

	_XDisplay* const fDisplay;
	const unsigned long fFrame;
	const unsigned long fCover;
	unsigned long fBlankCursor = 0;
	bool fRestackWanted = false;
	bigtime_t fLastRaise = 0;
	// Raises in a row that each came soon after the one before: another client keeps taking
	// the top.
	int32 fRaisesInAWar = 0;
	bool fWarReported = false;
	// Where the frame sits from the primary head's top-left corner; fFollowsHead when the
	// server tells where that head is.
	bool fFollowsHead = false;
	int fHeadX = 0;
	int fHeadY = 0;
	int fOffsetX = 0;
	int fOffsetY = 0;
	bool fHeadCheckWanted = false;
	bool fGrabbed = false;
	bigtime_t fNextAttempt = B_INFINITE_TIMEOUT;
	bool fAbandoned = false;
};

} // namespace BPrivate
