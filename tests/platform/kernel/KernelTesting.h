#pragma once

// Helpers shared by the kernel tests: threads running a lambda, and bounded waits for a
// condition to come true.

#include <functional>
#include <utility>

#include <OS.h>

namespace KernelTesting {

static const bigtime_t kPatience = 10000000; // how long a test waits for an event: 10 s

// Polls `condition` every millisecond; false if it did not hold within `limit`.
template <typename Condition> bool Eventually(Condition condition, bigtime_t limit = kPatience)
{
	bigtime_t deadline = system_time() + limit;
	while (!condition()) {
		if (system_time() > deadline)
			return false;
		snooze(1000);
	}
	return true;
}

inline thread_state StateOf(thread_id thread)
{
	thread_info info;
	return get_thread_info(thread, &info) == B_OK ? info.state : (thread_state)0;
}

// Whether `thread` is blocked in one of the kernel's waits.
inline bool IsBlocked(thread_id thread)
{
	thread_state state = StateOf(thread);
	return state == B_THREAD_WAITING || state == B_THREAD_ASLEEP;
}

// A kernel thread that runs `body`, spawned (not started) on construction. The destructor waits
// for it, so a failing test never leaves it behind.
class TestThread
{
public:
	explicit TestThread(std::function<int32()> body, const char* name = "test thread",
	                    int32 priority = B_NORMAL_PRIORITY)
	    : fBody(std::move(body)), fId(spawn_thread(&TestThread::Run, name, priority, this))
	{
	}

	~TestThread()
	{
		if (!fJoined && fId > 0)
			wait_for_thread(fId, nullptr);
	}

	TestThread(const TestThread&) = delete;
	TestThread& operator=(const TestThread&) = delete;

	thread_id Id() const { return fId; }
	status_t Start() { return resume_thread(fId); }

	// The thread's exit value, or the error wait_for_thread gave.
	status_t Join()
	{
		status_t exitValue = B_ERROR;
		status_t status = wait_for_thread(fId, &exitValue);
		fJoined = status == B_OK;
		return status == B_OK ? exitValue : status;
	}

private:
	static int32 Run(void* data) { return static_cast<TestThread*>(data)->fBody(); }

	std::function<int32()> fBody;
	thread_id fId;
	bool fJoined = false;
};

} // namespace KernelTesting
