#pragma once

// Threads of the kernel services, and the one blocking primitive every wait of the layer goes
// through. Suspension is cooperative: a suspended thread stops in the layer's own waits and at its
// entry points, never at an arbitrary instruction (it might hold a lock its suspender needs).

#include <pthread.h>
#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include <OS.h>

#include "kernel/WaitQueue.h"

namespace BPrivate {

// What a ThreadRecord's waitStatus holds while its wait is still going on.
static const status_t kStillWaiting = 1;

// One thread known to the kernel services: made by spawn_thread, or any other thread (the main
// thread, threads the platform starts itself) registered on its first call that needs an id.
// Every field is guarded by the kernel lock; `suspended` may also be read without it, as a hint.
struct ThreadRecord
{
	thread_id id = -1;
	char name[B_OS_NAME_LENGTH] = {};
	int32 priority = B_NORMAL_PRIORITY;
	thread_func function = nullptr;
	void* data = nullptr;

	bool spawned = false; // made by spawn_thread: the kernel joins it
	pthread_t handle{};
	pid_t linuxId = 0; // 0 until the thread runs

	bool started = false;
	bool finished = false;
	bool joined = false;
	status_t exitValue = B_OK;
	std::atomic<bool> suspended{false};

	// The wait in progress. A waker sets waitStatus and notifies `condition`.
	status_t waitStatus = B_OK;
	WaitQueue* waitQueue = nullptr;
	bigtime_t waitDeadline = B_INFINITE_TIMEOUT; // system_time() value
	int32 wantedCount = 0;                       // semaphore counts asked for
	status_t joinedValue = 0; // exit value handed to a thread waiting in wait_for_thread

	std::condition_variable condition;
	WaitQueue joiners; // threads in wait_for_thread on this one
};

// The one lock guarding every semaphore, port and thread record. Deliberately never destroyed:
// threads still running at process exit may take it after static destructors have run.
std::mutex& KernelLock();

// The caller's record, registered on first use. Must not be called with the kernel lock held.
ThreadRecord* CurrentThread();

// Blocks `self` (the caller) until a waker ends the wait, `deadline` passes (B_TIMED_OUT) or the
// thread is suspended (B_INTERRUPTED, returned only once it has been resumed). With `queue`, the
// thread waits in it and leaves it on time-out or suspension. Requires the kernel lock through
// `lock`, which is released while blocked.
status_t Block(std::unique_lock<std::mutex>& lock, ThreadRecord* self, WaitQueue* queue,
               bigtime_t deadline);

// Kernel lock held: every wait in progress measures its deadline against system_time() again,
// after a test moved the clock (TestClock.h). A wait whose deadline has passed ends with
// B_TIMED_OUT here, as it would in Block; the others are woken to sleep on for the time left.
void RecheckDeadlines(Wakeups& wakeups);

// Waits until `deadline` unless suspended: B_TIMED_OUT when the time has passed, B_INTERRUPTED
// after a suspension (once resumed).
status_t SleepUntil(bigtime_t deadline);

// The entry check of the layer: if the calling thread has been suspended while it ran, it stops
// here until resumed, then goes on. Other kits call it at their own entry points.
void CheckSuspension();

} // namespace BPrivate
