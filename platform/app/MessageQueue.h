#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include <Message.h>
#include <OS.h>

class BHandler;

namespace BPrivate {

// A looper's queue of posted messages, first in first out. A waiter sleeps on it until a post,
// a Wake() or a deadline; a looper that waits elsewhere (the application, in its display) sets a
// wake hook that each post calls. Any thread may call it.
class MessageQueue
{
public:
	struct Entry
	{
		std::unique_ptr<BMessage> message;
		// NULL: the looper's preferred handler, or the looper.
		BHandler* handler = nullptr;
	};

	// False (and the message dropped) once the queue is closed.
	bool Push(std::unique_ptr<BMessage> message, BHandler* handler);
	bool Pop(Entry* entry);
	bool IsEmpty() const;
	// No more posts are taken; what is queued stays until Clear().
	void Close();
	void Clear();
	// Entries for `handler` go to nobody: it is about to go away.
	void ForgetHandler(BHandler* handler);

	// Returns when a message is queued, Wake() was called since the last wait, or `deadline`
	// (a system_time() value) has passed.
	void Wait(bigtime_t deadline);
	void Wake();
	// Called, under the queue's lock, after every post and Wake(); it must not call back into
	// the queue. An empty function removes it.
	void SetWakeHook(std::function<void()> hook);

private:
	void NotifyLocked();

	mutable std::mutex fMutex;
	std::condition_variable fChanged;
	std::deque<Entry> fEntries;
	std::function<void()> fWakeHook;
	bool fWoken = false;
	bool fClosed = false;
};

} // namespace BPrivate
