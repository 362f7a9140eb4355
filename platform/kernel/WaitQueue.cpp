#include "kernel/WaitQueue.h"

#include <assert.h>

#include <algorithm>

#include "kernel/Thread.h"

namespace BPrivate {

Wakeups::~Wakeups()
{
	for (size_t i = 0; i < fCount; i++)
		fThreads[i]->condition.notify_one();
}

void Wakeups::Add(ThreadRecord* thread, status_t status)
{
	assert(thread->waitQueue == nullptr);
	thread->waitStatus = status;
	if (fCount < fThreads.size()) {
		fThreads[fCount++] = thread;
		return;
	}
	// No room left: notify now, under the lock. Slower, equally correct.
	thread->condition.notify_one();
}

WaitQueue::~WaitQueue()
{
	assert(fThreads.empty());
}

void WaitQueue::Append(ThreadRecord* thread)
{
	thread->waitQueue = this;
	fThreads.push_back(thread);
}

void WaitQueue::WakeHead(status_t status, Wakeups& wakeups)
{
	if (fThreads.empty())
		return;
	ThreadRecord* thread = fThreads.front();
	fThreads.pop_front();
	thread->waitQueue = nullptr;
	wakeups.Add(thread, status);
}

void WaitQueue::WakeAll(status_t status, Wakeups& wakeups)
{
	while (!fThreads.empty())
		WakeHead(status, wakeups);
}

void WaitQueue::Leave(ThreadRecord* thread, Wakeups& wakeups)
{
	auto position = std::find(fThreads.begin(), fThreads.end(), thread);
	assert(position != fThreads.end());
	fThreads.erase(position);
	thread->waitQueue = nullptr;
	WaiterLeft(wakeups);
}

} // namespace BPrivate
