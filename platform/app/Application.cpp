#include <Application.h>

#include <stdio.h>

#include <cassert>

#include <Message.h>
#include <Window.h>

#include "app/MessageQueue.h"
#include "app/ServiceNotifier.h"
#include "app/SignalHandling.h"
#include "interface/Display.h"

BApplication* be_app = NULL;
BMessenger be_app_messenger;

namespace {

// Posted by a window that quit itself: the main thread stops its thread and deletes it.
const uint32 kReapWindow = 0x5f575250; // '_WRP'

} // namespace

namespace BPrivate {

Display* ApplicationDisplay()
{
	return be_app != NULL ? be_app->fDisplay.get() : nullptr;
}

} // namespace BPrivate

BApplication::BApplication(const char* signature)
    : BLooper(signature), fInitStatus(B_NO_INIT), fCursorHideLevel(0)
{
	Init(signature);
}

BApplication::BApplication(const char* signature, status_t* error)
    : BLooper(signature), fInitStatus(B_NO_INIT), fCursorHideLevel(0)
{
	Init(signature);
	if (error != NULL)
		*error = fInitStatus;
}

void BApplication::Init(const char* signature)
{
	assert(be_app == NULL && "one BApplication at a time");
	fSignature = signature != NULL ? signature : "";

	// The program prints progress lines and never flushes: each must reach a pipe or a log as
	// it is printed, and none may be lost if a signal ends the process. The buffer is given
	// explicitly: glibc, asked for line buffering without one, keeps the fully buffered
	// stream's write limits if the stream was used before (a forked test child, a line printed
	// before the application was built), and lines then stay in the buffer.
	static char lineBuffer[BUFSIZ];
	fflush(stdout);
	setvbuf(stdout, lineBuffer, _IOLBF, sizeof(lineBuffer));

	// Before the display, which may put the terminal in raw mode: from then on a signal must
	// find the handler that restores it.
	fSignals = std::make_unique<BPrivate::SignalHandling>();
	fDisplay = BPrivate::CreateDisplay();
	assert(fDisplay != nullptr);
	BPrivate::Display* display = fDisplay.get();
	Queue().SetWakeHook([display] { display->Wake(); });

	be_app = this;
	be_app_messenger = BMessenger(this);
	// The first message of every application: nothing can have been posted before.
	PostMessage(B_READY_TO_RUN);
	fInitStatus = B_OK;
}

BApplication::~BApplication()
{
	Unregister();
	be_app_messenger = BMessenger();
	CloseAllWindows();
	Queue().SetWakeHook({});
	DiscardMessages();
	fDisplay.reset();
	fSignals.reset();
	be_app = NULL;
}

thread_id BApplication::Run()
{
	RunLoop();
	CloseAllWindows();
	return Thread();
}

void BApplication::Quit()
{
	// The message being handled, when the loop's own thread quits: what ended the application.
	const BMessage* message = OnLoopThread() ? CurrentMessage() : NULL;
	BPrivate::ServiceNotifier::Default().Quitting(message != NULL ? message->what : 0);
	StopLoop();
}

bool BApplication::QuitRequested()
{
	return true;
}

void BApplication::ReadyToRun() {}

void BApplication::Pulse() {}

void BApplication::DispatchMessage(BMessage* message, BHandler* handler)
{
	if (handler != this) {
		BLooper::DispatchMessage(message, handler);
		return;
	}
	switch (message->what) {
	case B_READY_TO_RUN:
		ReadyToRun();
		break;
	case B_QUIT_REQUESTED:
		if (QuitRequested())
			Quit();
		break;
	case kReapWindow: {
		void* window;
		if (message->FindPointer("window", &window) == B_OK)
			ReapWindow(static_cast<BWindow*>(window));
		break;
	}
	default:
		BLooper::DispatchMessage(message, handler);
		break;
	}
}

void BApplication::MessageReceived(BMessage* message)
{
	BLooper::MessageReceived(message);
}

void BApplication::HideCursor()
{
	std::lock_guard<std::mutex> lock(fStateLock);
	if (fCursorHideLevel++ == 0 && fDisplay != nullptr)
		fDisplay->HideCursor();
}

void BApplication::ShowCursor()
{
	std::lock_guard<std::mutex> lock(fStateLock);
	if (fCursorHideLevel > 0 && --fCursorHideLevel == 0 && fDisplay != nullptr)
		fDisplay->ShowCursor();
}

bool BApplication::IsCursorHidden() const
{
	std::lock_guard<std::mutex> lock(fStateLock);
	return fCursorHideLevel > 0;
}

int32 BApplication::CountWindows() const
{
	std::lock_guard<std::mutex> lock(fStateLock);
	return (int32)fWindows.size();
}

BWindow* BApplication::WindowAt(int32 index) const
{
	std::lock_guard<std::mutex> lock(fStateLock);
	if (index < 0 || index >= (int32)fWindows.size())
		return NULL;
	return fWindows[index];
}

void BApplication::WaitForMessages(bigtime_t deadline)
{
	// The main thread waits in the display, which it also runs; a post wakes it (the queue's
	// wake hook calls Display::Wake).
	fDisplay->Dispatch(deadline);
}

void BApplication::AddWindow(BWindow* window)
{
	std::lock_guard<std::mutex> lock(fStateLock);
	fWindows.push_back(window);
}

void BApplication::RemoveWindow(BWindow* window)
{
	std::lock_guard<std::mutex> lock(fStateLock);
	for (auto found = fWindows.begin(); found != fWindows.end(); ++found) {
		if (*found == window) {
			fWindows.erase(found);
			return;
		}
	}
}

void BApplication::ReapWindow(BWindow* window)
{
	{
		// The window may be gone already (closed by another path): only known ones are closed.
		std::lock_guard<std::mutex> lock(fStateLock);
		bool known = false;
		for (BWindow* candidate : fWindows)
			known = known || candidate == window;
		if (!known)
			return;
	}
	window->Close();
}

void BApplication::CloseAllWindows()
{
	for (;;) {
		BWindow* window;
		{
			std::lock_guard<std::mutex> lock(fStateLock);
			if (fWindows.empty())
				return;
			window = fWindows.back();
		}
		// Stops and joins its thread, takes it off the display, deletes it (and its views); its
		// destructor takes it out of the list.
		window->Close();
	}
}
