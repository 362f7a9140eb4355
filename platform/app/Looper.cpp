#include <Looper.h>

#include <pthread.h>

#include <cassert>
#include <future>
#include <string>

#include <Message.h>

#include "app/CurrentThread.h"
#include "app/LooperLock.h"
#include "app/LooperRegistry.h"
#include "app/MessageQueue.h"

using BPrivate::LooperRegistry::Register;
using BPrivate::LooperRegistry::Unregister;

BLooper::BLooper(const char* name, int32 /*priority*/, int32 /*portCapacity*/)
    : BHandler(name), fQueue(new BPrivate::MessageQueue), fLock(new BPrivate::LooperLock),
      fPreferredHandler(NULL), fCurrentMessage(NULL), fQuitting(false), fThreadId(-1), fToken(0)
{
	fToken = Register(this);
	AddHandler(this);
}

BLooper::~BLooper()
{
	Unregister();
	// A looper deleted while its thread runs (by its owner, after it quit itself, or never
	// asked to): stop the thread first, it may be using the object.
	if (fThread.joinable() && fThread.get_id() != std::this_thread::get_id())
		JoinThread();
	DiscardMessages();
	for (BHandler* handler : fHandlers)
		handler->fLooper = NULL;
}

void BLooper::Unregister()
{
	if (fToken > 0) {
		BPrivate::LooperRegistry::Unregister(fToken);
		fToken = -fToken;
	}
	fQueue->Close();
}

status_t BLooper::PostMessage(uint32 command)
{
	BMessage message(command);
	return PostMessage(&message, NULL);
}

status_t BLooper::PostMessage(BMessage* message)
{
	return PostMessage(message, NULL);
}

status_t BLooper::PostMessage(BMessage* message, BHandler* handler, BHandler* /*replyTo*/)
{
	if (message == NULL)
		return B_BAD_VALUE;
	if (handler != NULL && handler->Looper() != this)
		return B_MISMATCHED_VALUES;
	if (!fQueue->Push(std::make_unique<BMessage>(*message), handler))
		return B_BAD_PORT_ID;
	return B_OK;
}

void BLooper::DispatchMessage(BMessage* message, BHandler* handler)
{
	if (message->what == B_QUIT_REQUESTED && handler == this) {
		if (QuitRequested())
			Quit();
		return;
	}
	handler->MessageReceived(message);
}

void BLooper::MessageReceived(BMessage* message)
{
	BHandler::MessageReceived(message);
}

thread_id BLooper::Run()
{
	if (fThread.joinable())
		return B_ALREADY_RUNNING;
	return StartThread(Name());
}

void BLooper::Quit()
{
	if (OnLoopThread()) {
		// Quitting itself: the loop ends after the current message.
		StopLoop();
		return;
	}
	if (!fThread.joinable()) {
		// Never run.
		delete this;
		return;
	}
	// The caller holds the lock, as BeOS requires; the thread needs it to finish its message.
	fLock->UnlockAll();
	JoinThread();
	delete this;
}

bool BLooper::QuitRequested()
{
	return true;
}

bool BLooper::Lock()
{
	return fLock->Lock() == B_OK;
}

status_t BLooper::LockWithTimeout(bigtime_t timeout)
{
	bigtime_t deadline = B_INFINITE_TIMEOUT;
	if (timeout != B_INFINITE_TIMEOUT)
		deadline = system_time() + (timeout > 0 ? timeout : 0);
	return fLock->Lock(deadline);
}

void BLooper::Unlock()
{
	fLock->Unlock();
}

bool BLooper::IsLocked() const
{
	return fLock->IsHeldByCaller();
}

thread_id BLooper::LockingThread() const
{
	return fLock->Holder();
}

int32 BLooper::CountLocks() const
{
	return fLock->Count();
}

void BLooper::AddHandler(BHandler* handler)
{
	if (handler == NULL || handler->fLooper == this)
		return;
	assert(handler->fLooper == NULL);
	handler->fLooper = this;
	fHandlers.push_back(handler);
	if (handler != this && handler->fNextHandler == NULL)
		handler->fNextHandler = this;
}

bool BLooper::RemoveHandler(BHandler* handler)
{
	if (handler == NULL || handler == this || handler->fLooper != this)
		return false;
	for (auto found = fHandlers.begin(); found != fHandlers.end(); ++found) {
		if (*found == handler) {
			fHandlers.erase(found);
			break;
		}
	}
	handler->fLooper = NULL;
	if (handler->fNextHandler == this)
		handler->fNextHandler = NULL;
	if (fPreferredHandler == handler)
		fPreferredHandler = NULL;
	fQueue->ForgetHandler(handler);
	return true;
}

BHandler* BLooper::HandlerAt(int32 index) const
{
	if (index < 0 || index >= (int32)fHandlers.size())
		return NULL;
	return fHandlers[index];
}

void BLooper::RunLoop()
{
	fThreadId = BPrivate::CurrentThreadId();
	while (!fQuitting) {
		// A timed event (a window's pulse) that is due goes first: a stream of messages must
		// not starve it.
		bigtime_t next = NextEventTime();
		if (next != B_INFINITE_TIMEOUT && next <= system_time()) {
			Lock();
			TimedEvent();
			AfterEvent();
			Unlock();
			AfterEventUnlocked();
			continue;
		}
		BPrivate::MessageQueue::Entry entry;
		if (!fQueue->Pop(&entry)) {
			WaitForMessages(next);
			continue;
		}
		if (entry.message == NULL)
			continue;
		BHandler* handler = entry.handler;
		if (handler == NULL)
			handler = fPreferredHandler != NULL ? fPreferredHandler : this;
		Lock();
		fCurrentMessage = entry.message.get();
		DispatchMessage(entry.message.get(), handler);
		fCurrentMessage = NULL;
		AfterEvent();
		Unlock();
		AfterEventUnlocked();
	}
}

thread_id BLooper::StartThread(const char* threadName)
{
	assert(!fThread.joinable());
	std::string name = threadName != NULL ? threadName : "";
	fQuitting = false;
	// The id is known only on the new thread; wait for it so that Thread() is right at once.
	// The promise moves into the thread: it may still be signalling when the id has been read.
	std::promise<thread_id> started;
	std::future<thread_id> id = started.get_future();
	fThread = std::thread([this, name, started = std::move(started)]() mutable {
		// Linux keeps 15 characters of a thread's name.
		pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
		fThreadId = BPrivate::CurrentThreadId();
		started.set_value(fThreadId.load());
		RunLoop();
	});
	return id.get();
}

bool BLooper::OnLoopThread() const
{
	return fThreadId.load() == BPrivate::CurrentThreadId();
}

void BLooper::JoinThread()
{
	if (!fThread.joinable())
		return;
	StopLoop();
	fThread.join();
}

void BLooper::StopLoop()
{
	fQuitting = true;
	fQueue->Wake();
}

bigtime_t BLooper::NextEventTime()
{
	return B_INFINITE_TIMEOUT;
}

void BLooper::TimedEvent() {}

void BLooper::WaitForMessages(bigtime_t deadline)
{
	fQueue->Wait(deadline);
}

void BLooper::AfterEvent() {}

void BLooper::AfterEventUnlocked() {}

void BLooper::DiscardMessages()
{
	fQueue->Clear();
}
