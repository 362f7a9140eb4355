#pragma once

#include <memory>
#include <string>
#include <vector>

#include <InterfaceDefs.h>
#include <Looper.h>
#include <Rect.h>

class BView;

namespace BPrivate {
class Framebuffer;
class WindowClient;
} // namespace BPrivate

// A window: a content area on the screen, a backing store its views paint into, and a thread
// (started by the first Show(), named "w>" + title) that calls the views' Draw, KeyDown and
// Pulse with the window locked. The window owns its views. The application owns its windows and
// closes them all before its Run() returns.
//
// Threads: Lock/Unlock, PostMessage, Show, Quit and the queries may be called from any thread;
// the views' hooks run on the window's thread.
class BWindow : public BLooper
{
public:
	BWindow(BRect frame, const char* title, window_type type, uint32 flags,
	        uint32 workspace = B_CURRENT_WORKSPACE);
	virtual ~BWindow();

	// The first call starts the window's thread and puts the window on the display; the views
	// are then painted in their view colour and drawn, as after any exposure.
	virtual void Show();
	// Hide and Show nest by a level. This layer keeps a hidden window on the display (the
	// program never hides one): only IsHidden() tells.
	virtual void Hide();
	bool IsHidden() const;

	// Called with the window locked (as BeOS requires); from another thread it stops the
	// window's thread and the window is deleted, from the window's own thread it ends the loop
	// after the current message. Either way the object must not be used afterwards.
	virtual void Quit();
	virtual bool QuitRequested();
	virtual void DispatchMessage(BMessage* message, BHandler* handler);
	virtual void MessageReceived(BMessage* message);

	// The window owns a child once added and deletes it when destroyed.
	void AddChild(BView* child, BView* before = NULL);
	bool RemoveChild(BView* child);
	int32 CountChildren() const { return (int32)fChildren.size(); }
	BView* ChildAt(int32 index) const;
	BView* FindView(const char* name) const;
	BView* CurrentFocus() const { return fFocus; }

	// The content area: Bounds() is (0, 0, width - 1, height - 1), Frame() in screen coordinates.
	BRect Bounds() const;
	BRect Frame() const { return fFrame; }
	const char* Title() const { return fTitle.c_str(); }
	void SetTitle(const char* title);
	window_type Type() const { return fType; }
	uint32 Flags() const { return fFlags; }
	uint32 Workspaces() const { return fWorkspaces; }

	// The interval between pulses; 0 stops them. This platform's default is 50,000 µs.
	void SetPulseRate(bigtime_t rate);
	bigtime_t PulseRate() const;

protected:
	virtual bigtime_t NextEventTime();
	virtual void TimedEvent();
	virtual void AfterEvent();
	virtual void AfterEventUnlocked();

private:
	friend class BApplication;
	friend class BView;
	friend class BPrivate::WindowClient;

	// The application's close path, on the main thread: stops the window's thread and joins
	// it, takes the window off the display, deletes it.
	void Close();
	void DrawAll();
	void PostKeyDown(const char* bytes, int32 numBytes);
	void SetFocus(BView* view);
	void ViewDetached(BView* view);
	// A view painted into the framebuffer: the display is told after the current event (or at
	// once, when another thread that holds the lock painted).
	void NoteDrawing();
	// A view drew this text (with the window locked): what the window shows, for the service
	// manager's status (app/ServiceNotifier.h), told after the current event.
	void NoteText(const char* text, int32 length);
	BPrivate::Framebuffer& Framebuffer() { return *fFramebuffer; }

	BRect fFrame;
	std::string fTitle;
	window_type fType;
	uint32 fFlags;
	uint32 fWorkspaces;
	std::unique_ptr<BPrivate::Framebuffer> fFramebuffer;
	std::vector<BView*> fChildren;
	BView* fFocus;
	std::atomic<bigtime_t> fPulseRate;
	bigtime_t fNextPulse;
	bigtime_t fNextPulseRate;
	std::atomic<bool> fShown;
	std::atomic<int32> fHideLevel;
	std::atomic<bool> fDrawn;
	std::atomic<bool> fOnDisplay;
	// The texts drawn since the window's thread last told them; guarded by the window lock.
	std::vector<std::string> fDrawnTexts;
	// Those of the last round, told after the window is unlocked; the window's thread only.
	std::vector<std::string> fUntoldTexts;
	// What the display sees of this window.
	std::unique_ptr<BPrivate::WindowClient> fClient;
};
