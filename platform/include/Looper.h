#pragma once

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include <Handler.h>
#include <OS.h>

class BMessage;

namespace BPrivate {
class LooperLock;
class MessageQueue;
} // namespace BPrivate

#define B_LOOPER_PORT_DEFAULT_CAPACITY 200

// A message queue with a thread that empties it, and a lock that nests per thread. Messages are
// handled one at a time, in posting order, each with the looper locked.
//
// Threads: PostMessage, Lock/Unlock and the queries may be called from any thread; the hooks
// (DispatchMessage, QuitRequested) run on the looper's thread.
class BLooper : public BHandler
{
public:
	explicit BLooper(const char* name = NULL, int32 priority = B_NORMAL_PRIORITY,
	                 int32 portCapacity = B_LOOPER_PORT_DEFAULT_CAPACITY);
	virtual ~BLooper();

	// Both copy the message (the caller keeps its own); the looper's preferred handler, or the
	// looper itself, receives it. B_BAD_PORT_ID once the looper has quit.
	status_t PostMessage(uint32 command);
	status_t PostMessage(BMessage* message);
	status_t PostMessage(BMessage* message, BHandler* handler, BHandler* replyTo = NULL);

	// Default: B_QUIT_REQUESTED asks QuitRequested() and quits when it agrees; everything else
	// goes to the handler's MessageReceived.
	virtual void DispatchMessage(BMessage* message, BHandler* handler);
	virtual void MessageReceived(BMessage* message);
	// The message being handled, on the looper's thread; NULL between messages.
	BMessage* CurrentMessage() const { return fCurrentMessage; }

	// Starts the looper's own thread and returns its id. Quit() from another thread (with the
	// looper locked) stops the thread, joins it and deletes the looper, as BeOS does. A plain
	// looper that quits itself (from its own thread) only stops handling messages: a thread
	// cannot join itself, so its owner deletes it (BWindow hands itself to the application).
	virtual thread_id Run();
	virtual void Quit();
	virtual bool QuitRequested();

	bool Lock();
	status_t LockWithTimeout(bigtime_t timeout);
	void Unlock();
	// Whether the calling thread holds the lock.
	bool IsLocked() const;
	thread_id LockingThread() const;
	int32 CountLocks() const;

	thread_id Thread() const { return fThreadId.load(); }

	void AddHandler(BHandler* handler);
	bool RemoveHandler(BHandler* handler);
	int32 CountHandlers() const { return (int32)fHandlers.size(); }
	BHandler* HandlerAt(int32 index) const;
	BHandler* PreferredHandler() const { return fPreferredHandler; }
	void SetPreferredHandler(BHandler* handler) { fPreferredHandler = handler; }

	// The looper's key in the registry BMessenger finds loopers by; never reused.
	int32 Token() const { return fToken; }

protected:
	// The platform's loop machinery, shared by BApplication and BWindow.

	// Handles messages on the calling thread until the looper quits.
	void RunLoop();
	// Starts the looper's own thread, named `threadName` (at most 15 characters show on
	// Linux), running RunLoop; JoinThread stops it (StopLoop) and waits for its end.
	thread_id StartThread(const char* threadName);
	void JoinThread();
	// For the thread that started the thread (and its owner) only.
	bool HasThread() const { return fThread.joinable(); }
	// Whether the caller is the thread that runs the loop; any thread.
	bool OnLoopThread() const;
	// Whether Quit() has ended the loop (or will after the current message).
	bool IsQuitting() const { return fQuitting.load(); }
	// Ends RunLoop after the current message and wakes the loop; any thread.
	void StopLoop();
	// Takes the looper out of the messenger registry: later sends fail with B_BAD_PORT_ID.
	// Subclasses call it first in their destructors, before their own parts go away.
	void Unregister();
	// When the loop should wake up by itself (B_INFINITE_TIMEOUT: never), and what it does then.
	virtual bigtime_t NextEventTime();
	virtual void TimedEvent();
	// Waits until a message is posted, StopLoop() is called, or `deadline` passes. Default: on
	// the queue. The application waits in its display instead.
	virtual void WaitForMessages(bigtime_t deadline);
	// Called with the looper locked after each message and each timed event.
	virtual void AfterEvent();
	// Called right after that, the looper unlocked: for what must not keep other threads waiting
	// for the lock.
	virtual void AfterEventUnlocked();
	// Drops the messages still queued.
	void DiscardMessages();

	BPrivate::MessageQueue& Queue() { return *fQueue; }

private:
	void ThreadMain();

	std::unique_ptr<BPrivate::MessageQueue> fQueue;
	std::unique_ptr<BPrivate::LooperLock> fLock;
	std::vector<BHandler*> fHandlers;
	BHandler* fPreferredHandler;
	BMessage* fCurrentMessage;
	std::atomic<bool> fQuitting;
	std::atomic<thread_id> fThreadId;
	std::thread fThread;
	int32 fToken;
};
