#include <Window.h>

#include <string.h>

#include <string>

#include <Application.h>
#include <Message.h>
#include <View.h>

#include "app/CurrentThread.h"
#include "app/MessageQueue.h"
#include "app/ServiceNotifier.h"
#include "interface/Display.h"
#include "interface/Framebuffer.h"
#include "interface/WindowClient.h"

namespace {

// Paint the target again: the whole window (target: the window) or one view and its children.
const uint32 kUpdate = 0x5f555044; // '_UPD'
// Posted to the application by a window that quit itself.
const uint32 kReapWindow = 0x5f575250; // '_WRP'

// Keeps the screen within 100 ms of a change the program makes in Pulse(); BeOS used 500 ms.
const bigtime_t kDefaultPulseRate = 50000;

int32 PixelCount(float extent)
{
	int32 count = (int32)(extent + 0.5f) + 1;
	return count > 0 ? count : 1;
}

} // namespace

BWindow::BWindow(BRect frame, const char* title, window_type type, uint32 flags, uint32 workspace)
    : BLooper(title, B_DISPLAY_PRIORITY), fFrame(frame), fTitle(title != NULL ? title : ""),
      fType(type), fFlags(flags), fWorkspaces(workspace),
      fFramebuffer(
          new BPrivate::Framebuffer(PixelCount(frame.Width()), PixelCount(frame.Height()))),
      fFocus(NULL), fPulseRate(kDefaultPulseRate), fNextPulse(0), fNextPulseRate(0), fShown(false),
      fHideLevel(0), fDrawn(false), fOnDisplay(false), fClient(new BPrivate::WindowClient(*this))
{
	if (be_app != NULL)
		be_app->AddWindow(this);
}

BWindow::~BWindow()
{
	Unregister();
	if (HasThread() && !OnLoopThread()) {
		// The thread may need the lock to finish its message.
		while (IsLocked())
			Unlock();
		JoinThread();
	}
	if (fOnDisplay) {
		if (BPrivate::Display* display = BPrivate::ApplicationDisplay())
			display->RemoveClient(fClient.get());
		fOnDisplay = false;
	}

	// The views go with their window, deleted with it locked as BeOS does.
	Lock();
	while (!fChildren.empty()) {
		BView* child = fChildren.back();
		RemoveChild(child);
		delete child;
	}
	Unlock();

	if (be_app != NULL)
		be_app->RemoveWindow(this);
}

void BWindow::Show()
{
	if (fShown.exchange(true)) {
		if (fHideLevel > 0)
			fHideLevel--;
		return;
	}
	// As the server does on first show: every view painted in its view colour, then drawn.
	BMessage update(kUpdate);
	PostMessage(&update, this);
	StartThread(("w>" + fTitle).c_str());
	if (BPrivate::Display* display = BPrivate::ApplicationDisplay()) {
		display->AddClient(fClient.get());
		fOnDisplay = true;
	}
}

void BWindow::Hide()
{
	if (fShown)
		fHideLevel++;
}

bool BWindow::IsHidden() const
{
	return !fShown || fHideLevel > 0;
}

void BWindow::Quit()
{
	const int32 self = BPrivate::CurrentThreadId();
	if (OnLoopThread()) {
		// On the window's own thread: the loop ends after this message, and the main thread,
		// which alone may take the window off the display, joins the thread and deletes it.
		StopLoop();
		if (be_app != NULL) {
			BMessage reap(kReapWindow);
			reap.AddPointer("window", this);
			be_app->PostMessage(&reap);
		}
		return;
	}
	if (be_app != NULL && be_app->Thread() >= 0 && be_app->Thread() != self) {
		// Another thread while the application runs: the window's thread ends now, the main
		// thread finishes the job.
		while (IsLocked())
			Unlock();
		StopLoop();
		BMessage reap(kReapWindow);
		reap.AddPointer("window", this);
		be_app->PostMessage(&reap);
		return;
	}
	Close();
}

void BWindow::Close()
{
	while (IsLocked())
		Unlock();
	JoinThread();
	delete this;
}

bool BWindow::QuitRequested()
{
	return true;
}

void BWindow::DispatchMessage(BMessage* message, BHandler* handler)
{
	switch (message->what) {
	case B_KEY_DOWN: {
		const char* bytes;
		if (fFocus != NULL && message->FindString("bytes", &bytes) == B_OK && bytes[0] != '\0')
			fFocus->KeyDown(bytes, (int32)strlen(bytes));
		return;
	}
	case kUpdate:
		if (handler == this)
			DrawAll();
		else if (BView* view = dynamic_cast<BView*>(handler))
			view->PaintTree();
		return;
	case B_QUIT_REQUESTED:
		if (handler == this) {
			if (QuitRequested())
				Quit();
			return;
		}
		break;
	}
	BLooper::DispatchMessage(message, handler);
}

void BWindow::MessageReceived(BMessage* message)
{
	BLooper::MessageReceived(message);
}

void BWindow::AddChild(BView* child, BView* before)
{
	if (child == NULL || child->fParent != NULL || child->fWindow != NULL)
		return;
	auto position = fChildren.end();
	for (auto found = fChildren.begin(); found != fChildren.end(); ++found) {
		if (*found == before)
			position = found;
	}
	fChildren.insert(position, child);
	child->AttachTo(this);
	if (fShown)
		child->Invalidate();
	// A view that needs pulses may have come: the loop recomputes its deadline.
	Queue().Wake();
}

bool BWindow::RemoveChild(BView* child)
{
	for (auto found = fChildren.begin(); found != fChildren.end(); ++found) {
		if (*found == child) {
			fChildren.erase(found);
			child->DetachFromWindow();
			return true;
		}
	}
	return false;
}

BView* BWindow::ChildAt(int32 index) const
{
	if (index < 0 || index >= (int32)fChildren.size())
		return NULL;
	return fChildren[index];
}

BView* BWindow::FindView(const char* name) const
{
	if (name == NULL)
		return NULL;
	std::vector<BView*> pending(fChildren.begin(), fChildren.end());
	while (!pending.empty()) {
		BView* view = pending.back();
		pending.pop_back();
		if (strcmp(view->Name(), name) == 0)
			return view;
		pending.insert(pending.end(), view->fChildren.begin(), view->fChildren.end());
	}
	return NULL;
}

BRect BWindow::Bounds() const
{
	return BRect(0, 0, fFramebuffer->Width() - 1, fFramebuffer->Height() - 1);
}

void BWindow::SetTitle(const char* title)
{
	fTitle = title != NULL ? title : "";
	SetName(fTitle.c_str());
}

void BWindow::SetPulseRate(bigtime_t rate)
{
	fPulseRate = rate > 0 ? rate : 0;
	Queue().Wake();
}

bigtime_t BWindow::PulseRate() const
{
	return fPulseRate;
}

bigtime_t BWindow::NextEventTime()
{
	// The view tree may change under another thread that holds the lock.
	Lock();
	bool needed = false;
	for (BView* child : fChildren)
		needed = needed || child->AnyNeedsPulse();
	Unlock();

	const bigtime_t rate = fPulseRate;
	if (!needed || rate == 0) {
		fNextPulse = 0;
		return B_INFINITE_TIMEOUT;
	}
	if (fNextPulse == 0 || rate != fNextPulseRate) {
		fNextPulse = system_time() + rate;
		fNextPulseRate = rate;
	}
	return fNextPulse;
}

void BWindow::TimedEvent()
{
	// Pulses keep their rhythm, but a late round (a slow Draw) is not made up in a burst.
	const bigtime_t now = system_time();
	fNextPulse += fNextPulseRate;
	if (fNextPulse <= now)
		fNextPulse = now + fNextPulseRate;
	// A copy: Pulse() may add or remove views.
	const std::vector<BView*> children = fChildren;
	for (BView* child : children)
		child->PulseTree();
}

void BWindow::AfterEvent()
{
	if (fDrawn.exchange(false)) {
		if (BPrivate::Display* display = BPrivate::ApplicationDisplay())
			display->Invalidate(fClient.get());
	}
	// The texts of one round go together: a view that repaints its lines draws them all in one
	// Draw. Texts another thread drew go with the next round of this one. They are told once the
	// window is unlocked.
	fUntoldTexts.swap(fDrawnTexts);
	fDrawnTexts.clear();
}

void BWindow::AfterEventUnlocked()
{
	if (!fUntoldTexts.empty()) {
		BPrivate::ServiceNotifier::Default().TextsDrawn(fUntoldTexts);
		fUntoldTexts.clear();
	}
}

void BWindow::NoteDrawing()
{
	if (OnLoopThread()) {
		fDrawn = true;
		return;
	}
	if (fOnDisplay) {
		if (BPrivate::Display* display = BPrivate::ApplicationDisplay())
			display->Invalidate(fClient.get());
	}
}

void BWindow::NoteText(const char* text, int32 length)
{
	if (BPrivate::ServiceNotifier::Default().IsEnabled())
		fDrawnTexts.emplace_back(text, length);
}

void BWindow::DrawAll()
{
	const std::vector<BView*> children = fChildren;
	for (BView* child : children)
		child->PaintTree();
}

void BWindow::PostKeyDown(const char* bytes, int32 numBytes)
{
	if (bytes == NULL || numBytes <= 0)
		return;
	BMessage message(B_KEY_DOWN);
	message.AddString("bytes", std::string(bytes, numBytes).c_str());
	message.AddInt8("byte", (int8)bytes[0]);
	message.AddInt64("when", system_time());
	PostMessage(&message, this);
}

void BWindow::SetFocus(BView* view)
{
	fFocus = view;
}

void BWindow::ViewDetached(BView* view)
{
	for (BView* focus = fFocus; focus != NULL; focus = focus->Parent()) {
		if (focus == view) {
			fFocus = NULL;
			return;
		}
	}
}
