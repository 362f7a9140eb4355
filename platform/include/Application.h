#pragma once

#include <mutex>
#include <memory>
#include <string>
#include <vector>

#include <AppDefs.h>
#include <Looper.h>
#include <Messenger.h>

class BWindow;

namespace BPrivate {
class Display;
class SignalHandling;
// The display of the current application, or nullptr without one.
Display* ApplicationDisplay();
} // namespace BPrivate

// The application object: one at a time per process. Its loop runs on the thread that calls
// Run() (the main thread), which also runs the display; it owns the display and every window.
//
// On construction it also makes standard output line-buffered (progress lines reach a pipe or a
// log as they are printed) and installs handlers for SIGINT, SIGTERM and SIGHUP that restore the
// terminal and let the signal end the process; SIGPIPE is ignored. Destruction undoes both.
//
// Under a service manager (NOTIFY_SOCKET set) the kits tell it where the application stands: ready
// once its first window is on the display, the text its windows draw as the status, and the
// message it quits on (app/ServiceNotifier.h).
//
// Threads: Run, the destructor and the hooks run on the main thread; PostMessage, Quit,
// CountWindows/WindowAt and the cursor calls may be called from any thread.
class BApplication : public BLooper
{
public:
	explicit BApplication(const char* signature);
	BApplication(const char* signature, status_t* error);
	virtual ~BApplication();

	status_t InitCheck() const { return fInitStatus; }
	const char* Signature() const { return fSignature.c_str(); }

	// Handles messages on the calling thread until Quit(); ReadyToRun() first. Before it
	// returns every window is closed: its thread stopped and joined, the window deleted.
	// Returns the calling thread's id.
	virtual thread_id Run();
	// Ends Run() after the current message; any thread.
	virtual void Quit();
	virtual bool QuitRequested();

	virtual void ReadyToRun();
	virtual void Pulse();
	virtual void DispatchMessage(BMessage* message, BHandler* handler);
	virtual void MessageReceived(BMessage* message);

	// Nest by a hide level; the pointer shows at level 0.
	void HideCursor();
	void ShowCursor();
	bool IsCursorHidden() const;

	int32 CountWindows() const;
	BWindow* WindowAt(int32 index) const;

protected:
	virtual void WaitForMessages(bigtime_t deadline);

private:
	friend class BWindow;
	friend BPrivate::Display* BPrivate::ApplicationDisplay();

	void Init(const char* signature);
	void AddWindow(BWindow* window);
	void RemoveWindow(BWindow* window);
	void ReapWindow(BWindow* window);
	void CloseAllWindows();

	std::string fSignature;
	status_t fInitStatus;
	std::unique_ptr<BPrivate::Display> fDisplay;
	std::unique_ptr<BPrivate::SignalHandling> fSignals;
	// Guards the window list and the cursor's hide level.
	mutable std::mutex fStateLock;
	std::vector<BWindow*> fWindows;
	int32 fCursorHideLevel;
};

extern BApplication* be_app;
extern BMessenger be_app_messenger;
