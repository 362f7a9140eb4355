#include "app/MessageQueue.h"

#include <chrono>

#include "kernel/Time.h"

namespace BPrivate {

bool MessageQueue::Push(std::unique_ptr<BMessage> message, BHandler* handler)
{
	std::lock_guard<std::mutex> lock(fMutex);
	if (fClosed)
		return false;
	fEntries.push_back(Entry{std::move(message), handler});
	NotifyLocked();
	return true;
}

bool MessageQueue::Pop(Entry* entry)
{
	std::lock_guard<std::mutex> lock(fMutex);
	if (fEntries.empty())
		return false;
	*entry = std::move(fEntries.front());
	fEntries.pop_front();
	return true;
}

bool MessageQueue::IsEmpty() const
{
	std::lock_guard<std::mutex> lock(fMutex);
	return fEntries.empty();
}

void MessageQueue::Close()
{
	std::lock_guard<std::mutex> lock(fMutex);
	fClosed = true;
}

void MessageQueue::Clear()
{
	std::deque<Entry> dropped;
	{
		std::lock_guard<std::mutex> lock(fMutex);
		dropped.swap(fEntries);
	}
	// The messages are deleted outside the lock.
}

void MessageQueue::ForgetHandler(BHandler* handler)
{
	std::lock_guard<std::mutex> lock(fMutex);
	for (Entry& entry : fEntries) {
		if (entry.handler == handler)
			entry.message.reset();
	}
}

void MessageQueue::Wait(bigtime_t deadline)
{
	std::unique_lock<std::mutex> lock(fMutex);
	while (fEntries.empty() && !fWoken) {
		if (deadline == B_INFINITE_TIMEOUT) {
			fChanged.wait(lock);
			continue;
		}
		bigtime_t remaining = deadline - system_time();
		if (remaining <= 0)
			break;
		fChanged.wait_for(lock, std::chrono::microseconds(WaitSlice(remaining)));
	}
	fWoken = false;
}

void MessageQueue::Wake()
{
	std::lock_guard<std::mutex> lock(fMutex);
	fWoken = true;
	NotifyLocked();
}

void MessageQueue::SetWakeHook(std::function<void()> hook)
{
	std::lock_guard<std::mutex> lock(fMutex);
	fWakeHook = std::move(hook);
}

void MessageQueue::NotifyLocked()
{
	fChanged.notify_all();
	if (fWakeHook)
		fWakeHook();
}

} // namespace BPrivate
