#include "kernel/Thread.h"

#include <assert.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <unordered_map>
#include <vector>

#include "kernel/Time.h"

namespace BPrivate {

namespace {

// The registry of thread records. Like the kernel lock, it is a deliberately leaked singleton:
// no static destructor may race with threads that still run at exit, and nothing joins them then
// (a thread nobody waited for keeps its record, and its pthread, until the process ends).
struct ThreadRegistry
{
	std::unordered_map<thread_id, ThreadRecord*> threads;
	std::vector<ThreadRecord*> retired; // records recycled, never freed (see Wakeups)
	thread_id lastId = 0;
};

ThreadRegistry& Registry()
{
	static ThreadRegistry* registry = new ThreadRegistry;
	return *registry;
}

thread_local ThreadRecord* tCurrent = nullptr;

// Retires the record of a thread the kernel did not make when that thread ends.
struct ForeignThreadGuard
{
	ThreadRecord* record = nullptr;
	~ForeignThreadGuard();
};

thread_local ForeignThreadGuard tForeignGuard;

} // namespace

std::mutex& KernelLock()
{
	static std::mutex* lock = new std::mutex;
	return *lock;
}

// Takes a fresh or recycled record and gives it the next id. Kernel lock held. Ids only grow, so
// a stale id never names another thread.
static ThreadRecord* NewRecord()
{
	ThreadRegistry& registry = Registry();
	if (registry.lastId == INT32_MAX)
		return nullptr;
	ThreadRecord* record;
	if (registry.retired.empty()) {
		record = new ThreadRecord;
	} else {
		record = registry.retired.back();
		registry.retired.pop_back();
		record->name[0] = '\0';
		record->priority = B_NORMAL_PRIORITY;
		record->function = nullptr;
		record->data = nullptr;
		record->spawned = false;
		record->handle = pthread_t{};
		record->linuxId = 0;
		record->started = false;
		record->finished = false;
		record->joined = false;
		record->exitValue = B_OK;
		record->suspended = false;
		record->waitStatus = B_OK;
		record->waitQueue = nullptr;
		record->waitDeadline = kNoDeadline;
		record->wantedCount = 0;
		record->joinedValue = 0;
	}
	record->id = ++registry.lastId;
	registry.threads[record->id] = record;
	return record;
}

// Kernel lock held; nobody may be waiting for the thread any more.
static void RetireRecord(ThreadRecord* record)
{
	assert(record->joiners.IsEmpty() && record->waitQueue == nullptr);
	ThreadRegistry& registry = Registry();
	registry.threads.erase(record->id);
	registry.retired.push_back(record);
}

ForeignThreadGuard::~ForeignThreadGuard()
{
	if (record == nullptr)
		return;
	Wakeups wakeups;
	std::lock_guard<std::mutex> lock(KernelLock());
	record->finished = true;
	for (ThreadRecord* joiner : record->joiners)
		joiner->joinedValue = B_OK;
	record->joiners.WakeAll(B_OK, wakeups);
	RetireRecord(record);
	tCurrent = nullptr;
}

ThreadRecord* CurrentThread()
{
	if (tCurrent != nullptr)
		return tCurrent;
	std::lock_guard<std::mutex> lock(KernelLock());
	ThreadRecord* record = NewRecord();
	assert(record != nullptr);
	record->started = true;
	record->handle = pthread_self();
	record->linuxId = gettid();
	if (pthread_getname_np(pthread_self(), record->name, sizeof(record->name)) != 0)
		snprintf(record->name, sizeof(record->name), "thread %d", (int)record->id);
	tCurrent = record;
	tForeignGuard.record = record;
	return record;
}

// Kernel lock held through `lock`.
static void ParkWhileSuspended(std::unique_lock<std::mutex>& lock, ThreadRecord* self)
{
	while (self->suspended)
		self->condition.wait(lock);
}

status_t Block(std::unique_lock<std::mutex>& lock, ThreadRecord* self, WaitQueue* queue,
               bigtime_t deadline)
{
	assert(self->waitQueue == nullptr);
	if (self->suspended) {
		// Suspended between its entry check and here: as if suspended in the wait.
		ParkWhileSuspended(lock, self);
		return B_INTERRUPTED;
	}

	// Deadlines too far away for the clock's nanoseconds are no deadlines.
	bool timed = deadline < kNoDeadline / 1000;
	self->waitStatus = kStillWaiting;
	self->waitDeadline = timed ? deadline : kNoDeadline;
	if (queue != nullptr)
		queue->Append(self);

	while (self->waitStatus == kStillWaiting) {
		if (!timed) {
			self->condition.wait(lock);
			continue;
		}
		// The steady clock is system_time() less the test clock's offset, read afresh on every
		// round: a test that moves the clock wakes this wait to sleep on for the time left.
		auto until = std::chrono::steady_clock::time_point(
		    std::chrono::microseconds(deadline - ClockOffset()));
		if (self->condition.wait_until(lock, until) == std::cv_status::timeout &&
		    self->waitStatus == kStillWaiting) {
			if (self->waitQueue != nullptr) {
				// Anyone this lets through is notified under the lock; a rare path.
				Wakeups wakeups;
				self->waitQueue->Leave(self, wakeups);
			}
			self->waitStatus = B_TIMED_OUT;
		}
	}

	status_t status = self->waitStatus;
	self->waitStatus = B_OK;
	self->waitDeadline = kNoDeadline;
	if (status == B_INTERRUPTED)
		ParkWhileSuspended(lock, self);
	return status;
}

void RecheckDeadlines(Wakeups& wakeups)
{
	bigtime_t now = system_time();
	for (const auto& [id, record] : Registry().threads) {
		if (record->waitStatus != kStillWaiting || record->waitDeadline == kNoDeadline)
			continue;
		if (record->waitDeadline > now) {
			record->condition.notify_one();
			continue;
		}
		// As Block does on its own time-out: whoever this lets through is woken too.
		if (record->waitQueue != nullptr)
			record->waitQueue->Leave(record, wakeups);
		wakeups.Add(record, B_TIMED_OUT);
	}
}

status_t SleepUntil(bigtime_t deadline)
{
	ThreadRecord* self = CurrentThread();
	std::unique_lock<std::mutex> lock(KernelLock());
	return Block(lock, self, nullptr, deadline);
}

void CheckSuspension()
{
	ThreadRecord* self = tCurrent;
	if (self == nullptr || !self->suspended.load(std::memory_order_relaxed))
		return;
	std::unique_lock<std::mutex> lock(KernelLock());
	ParkWhileSuspended(lock, self);
}

// The Linux scheduling hint for a priority: the nice value of that one thread.
static int NiceFor(int32 priority)
{
	if (priority >= B_REAL_TIME_DISPLAY_PRIORITY)
		return -15;
	if (priority >= B_URGENT_DISPLAY_PRIORITY)
		return -10;
	if (priority >= B_DISPLAY_PRIORITY)
		return -5;
	if (priority >= B_NORMAL_PRIORITY)
		return 0;
	if (priority >= B_LOW_PRIORITY)
		return 5;
	return 10;
}

// Kernel lock held. Raising a priority needs a privilege the process may lack: that failure is
// silent, the thread simply runs at the nice value it has.
static void ApplyPriority(ThreadRecord* record)
{
	if (record->linuxId != 0)
		setpriority(PRIO_PROCESS, record->linuxId, NiceFor(record->priority));
}

// Kernel lock held. Linux keeps 15 characters of a thread's name.
static void ApplyName(ThreadRecord* record, pthread_t handle)
{
	char linuxName[16];
	size_t length = strnlen(record->name, sizeof(linuxName) - 1);
	memcpy(linuxName, record->name, length);
	linuxName[length] = '\0';
	pthread_setname_np(handle, linuxName);
}

static int32 ClampPriority(int32 priority)
{
	return priority < 1 ? 1 : priority > B_REAL_TIME_PRIORITY ? B_REAL_TIME_PRIORITY : priority;
}

static void* ThreadEntry(void* argument)
{
	ThreadRecord* self = static_cast<ThreadRecord*>(argument);
	tCurrent = self;
	{
		std::unique_lock<std::mutex> lock(KernelLock());
		self->linuxId = gettid();
		ApplyName(self, pthread_self());
		ApplyPriority(self);
		// Spawned threads start suspended, until resume_thread or wait_for_thread.
		while (!self->started)
			self->condition.wait(lock);
	}

	status_t exitValue = self->function(self->data);

	Wakeups wakeups;
	std::lock_guard<std::mutex> lock(KernelLock());
	self->finished = true;
	self->exitValue = exitValue;
	for (ThreadRecord* joiner : self->joiners)
		joiner->joinedValue = exitValue;
	self->joiners.WakeAll(B_OK, wakeups);
	return nullptr;
}

// Kernel lock held. The live thread `id`, or nullptr.
static ThreadRecord* FindLiveThread(thread_id id)
{
	auto found = Registry().threads.find(id);
	if (found == Registry().threads.end() || found->second->finished)
		return nullptr;
	return found->second;
}

// Kernel lock held: lets a never-started or suspended thread run.
static bool Release(ThreadRecord* record, Wakeups& wakeups)
{
	bool released = !record->started || record->suspended;
	record->started = true;
	record->suspended = false;
	if (released && record->waitStatus != kStillWaiting) {
		// Parked, not waiting: a bare notify. A record in a wait stays in it.
		wakeups.Add(record, record->waitStatus);
	}
	return released;
}

} // namespace BPrivate

using namespace BPrivate;

thread_id spawn_thread(thread_func function, const char* name, int32 priority, void* data)
{
	if (function == nullptr)
		return B_BAD_VALUE;
	CheckSuspension();
	std::lock_guard<std::mutex> lock(KernelLock());
	ThreadRecord* record = NewRecord();
	if (record == nullptr)
		return B_NO_MORE_THREADS;
	snprintf(record->name, sizeof(record->name), "%s", name != nullptr ? name : "unnamed thread");
	record->priority = ClampPriority(priority);
	record->function = function;
	record->data = data;
	record->spawned = true;
	// Under the lock: the new thread waits for it before it reads its record, and nobody can
	// reach the record before `handle` is set.
	if (pthread_create(&record->handle, nullptr, ThreadEntry, record) != 0) {
		RetireRecord(record);
		return B_NO_MORE_THREADS;
	}
	return record->id;
}

status_t resume_thread(thread_id thread)
{
	if (thread <= 0)
		return B_BAD_VALUE;
	Wakeups wakeups;
	std::lock_guard<std::mutex> lock(KernelLock());
	ThreadRecord* record = FindLiveThread(thread);
	if (record == nullptr)
		return B_BAD_THREAD_ID;
	return Release(record, wakeups) ? B_OK : B_BAD_THREAD_STATE;
}

status_t suspend_thread(thread_id thread)
{
	if (thread <= 0)
		return B_BAD_VALUE;
	bool self = false;
	{
		Wakeups wakeups;
		std::lock_guard<std::mutex> lock(KernelLock());
		ThreadRecord* record = FindLiveThread(thread);
		if (record == nullptr)
			return B_BAD_THREAD_ID;
		if (!record->started)
			return B_OK; // not running yet: already as good as suspended
		record->suspended = true;
		if (record->waitStatus == kStillWaiting) {
			// The wait ends now, but the thread stays parked in Block until resumed.
			if (record->waitQueue != nullptr)
				record->waitQueue->Leave(record, wakeups);
			wakeups.Add(record, B_INTERRUPTED);
		}
		self = record == tCurrent;
	}
	if (self)
		CheckSuspension();
	return B_OK;
}

status_t wait_for_thread(thread_id thread, status_t* exitValue)
{
	CheckSuspension();
	ThreadRecord* self = CurrentThread();
	std::unique_lock<std::mutex> lock(KernelLock());
	auto found = Registry().threads.find(thread);
	if (found == Registry().threads.end())
		return B_BAD_THREAD_ID;
	ThreadRecord* record = found->second;
	if (record == self)
		return B_NOT_ALLOWED;
	{
		// Notified at once, under the lock: this call goes on to block.
		Wakeups released;
		Release(record, released);
	}

	if (!record->finished) {
		status_t status = Block(lock, self, &record->joiners, kNoDeadline);
		if (status != B_OK)
			return status;
		// Woken by the end of the thread: the record may already be retired (another waiter
		// joined it, or it was not a spawned thread), so use what the wake-up handed over.
		found = Registry().threads.find(thread);
		if (found == Registry().threads.end() || found->second != record || record->joined) {
			if (exitValue != nullptr)
				*exitValue = self->joinedValue;
			return B_OK;
		}
	}

	if (exitValue != nullptr)
		*exitValue = record->exitValue;
	if (record->joined)
		return B_OK;
	record->joined = true;
	pthread_t handle = record->handle;
	RetireRecord(record);
	lock.unlock();
	// The thread has set `finished` and only has to return: a short join, outside the lock.
	pthread_join(handle, nullptr);
	return B_OK;
}

thread_id find_thread(const char* name)
{
	if (name == nullptr)
		return CurrentThread()->id;
	std::lock_guard<std::mutex> lock(KernelLock());
	for (const auto& [id, record] : Registry().threads) {
		if (!record->finished && strcmp(record->name, name) == 0)
			return id;
	}
	return B_NAME_NOT_FOUND;
}

status_t rename_thread(thread_id thread, const char* newName)
{
	if (newName == nullptr)
		return B_BAD_VALUE;
	std::lock_guard<std::mutex> lock(KernelLock());
	ThreadRecord* record = FindLiveThread(thread);
	if (record == nullptr)
		return B_BAD_THREAD_ID;
	snprintf(record->name, sizeof(record->name), "%s", newName);
	if (record->linuxId != 0)
		ApplyName(record, record->handle);
	return B_OK;
}

status_t set_thread_priority(thread_id thread, int32 newPriority)
{
	std::lock_guard<std::mutex> lock(KernelLock());
	ThreadRecord* record = FindLiveThread(thread);
	if (record == nullptr)
		return B_BAD_THREAD_ID;
	int32 oldPriority = record->priority;
	record->priority = ClampPriority(newPriority);
	ApplyPriority(record);
	return oldPriority;
}

status_t get_thread_info(thread_id thread, thread_info* info)
{
	if (info == nullptr)
		return B_BAD_VALUE;
	std::lock_guard<std::mutex> lock(KernelLock());
	ThreadRecord* record = FindLiveThread(thread);
	if (record == nullptr)
		return B_BAD_THREAD_ID;
	*info = thread_info{};
	info->thread = record->id;
	info->team = getpid();
	snprintf(info->name, sizeof(info->name), "%s", record->name);
	info->priority = record->priority;
	info->sem = -1;
	if (!record->started || record->suspended)
		info->state = B_THREAD_SUSPENDED;
	else if (record->waitStatus != kStillWaiting)
		info->state = B_THREAD_RUNNING;
	else if (record->waitQueue == nullptr)
		info->state = B_THREAD_ASLEEP;
	else
		info->state = B_THREAD_WAITING;
	return B_OK;
}
