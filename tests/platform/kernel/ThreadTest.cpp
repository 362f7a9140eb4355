#include <pthread.h>
#include <stdio.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include <OS.h>

#include "kernel/Thread.h"
#include "platform/kernel/KernelTesting.h"

using namespace KernelTesting;

namespace {

// Long enough to notice a wait that ends too early, short enough to keep the suite quick.
const bigtime_t kObservation = 100000;

} // namespace

TEST(Thread, SpawnedThreadDoesNotRunUntilResumed)
{
	std::atomic<bool> ran{false};
	TestThread thread([&] {
		ran = true;
		return 7;
	});
	ASSERT_GT(thread.Id(), 0);
	snooze(kObservation);
	EXPECT_FALSE(ran);
	EXPECT_EQ(StateOf(thread.Id()), B_THREAD_SUSPENDED);
	ASSERT_EQ(thread.Start(), B_OK);
	EXPECT_EQ(thread.Join(), 7);
	EXPECT_TRUE(ran);
}

TEST(Thread, WaitForThreadStartsANeverStartedThreadAndGivesItsExitValue)
{
	TestThread thread([] { return 42; });
	EXPECT_EQ(thread.Join(), 42);
}

TEST(Thread, WaitForThreadResumesASuspendedThread)
{
	sem_id never = create_sem(0, "never released");
	TestThread thread([&] { return acquire_sem(never); });
	ASSERT_EQ(thread.Start(), B_OK);
	ASSERT_TRUE(Eventually([&] { return IsBlocked(thread.Id()); }));
	ASSERT_EQ(suspend_thread(thread.Id()), B_OK);
	EXPECT_EQ(thread.Join(), B_INTERRUPTED);
	delete_sem(never);
}

TEST(Thread, WaitedForThreadIdBecomesStaleAndIsNeverReused)
{
	std::set<thread_id> ids;
	thread_id last = 0;
	for (int i = 0; i < 20; i++) {
		thread_id id = spawn_thread([](void*) -> int32 { return 0; }, "short", 10, nullptr);
		ASSERT_GT(id, last);
		EXPECT_TRUE(ids.insert(id).second);
		last = id;
		ASSERT_EQ(wait_for_thread(id, nullptr), B_OK);
		EXPECT_EQ(wait_for_thread(id, nullptr), B_BAD_THREAD_ID);
		EXPECT_EQ(resume_thread(id), B_BAD_THREAD_ID);
		EXPECT_EQ(suspend_thread(id), B_BAD_THREAD_ID);
	}
}

TEST(Thread, BadIdsAreRefused)
{
	EXPECT_EQ(suspend_thread(0), B_BAD_VALUE);
	EXPECT_EQ(suspend_thread(-3), B_BAD_VALUE);
	EXPECT_EQ(resume_thread(0), B_BAD_VALUE);
	EXPECT_EQ(resume_thread(-1), B_BAD_VALUE);
	EXPECT_EQ(suspend_thread(INT32_MAX), B_BAD_THREAD_ID);
	EXPECT_EQ(resume_thread(INT32_MAX), B_BAD_THREAD_ID);
	EXPECT_EQ(wait_for_thread(INT32_MAX, nullptr), B_BAD_THREAD_ID);
	EXPECT_EQ(wait_for_thread(-1, nullptr), B_BAD_THREAD_ID);
	EXPECT_EQ(spawn_thread(nullptr, "no function", 10, nullptr), B_BAD_VALUE);
}

TEST(Thread, ResumingARunningThreadIsABadState)
{
	sem_id gate = create_sem(0, "gate");
	TestThread thread([&] { return acquire_sem(gate); });
	ASSERT_EQ(thread.Start(), B_OK);
	EXPECT_EQ(resume_thread(thread.Id()), B_BAD_THREAD_STATE);
	release_sem(gate);
	EXPECT_EQ(thread.Join(), B_OK);
	delete_sem(gate);
}

TEST(Thread, FindThreadWithoutNameGivesTheCallersId)
{
	thread_id main = find_thread(NULL);
	EXPECT_GT(main, 0);
	EXPECT_EQ(find_thread(NULL), main);
	std::atomic<thread_id> seen{0};
	TestThread thread([&] {
		seen = find_thread(NULL);
		return 0;
	});
	thread.Join();
	EXPECT_EQ(seen, thread.Id());
	EXPECT_NE(seen, main);
}

TEST(Thread, NamesAreCutAt31CharactersAndLinuxGetsTheFirst15)
{
	const std::string longName = "a thread name of forty characters, yes!!";
	ASSERT_EQ(longName.size(), 40u);
	sem_id gate = create_sem(0, "gate");
	std::string linuxName;
	std::atomic<pid_t> linuxId{0};
	TestThread thread(
	    [&] {
		    char name[16] = {};
		    pthread_getname_np(pthread_self(), name, sizeof(name));
		    linuxName = name;
		    linuxId = gettid();
		    return acquire_sem(gate);
	    },
	    longName.c_str());
	ASSERT_EQ(thread.Start(), B_OK);
	ASSERT_TRUE(Eventually([&] { return IsBlocked(thread.Id()); }));
	EXPECT_EQ(linuxName, longName.substr(0, 15));
	EXPECT_EQ(find_thread(longName.substr(0, 31).c_str()), thread.Id());
	thread_info info;
	ASSERT_EQ(get_thread_info(thread.Id(), &info), B_OK);
	EXPECT_EQ(std::string(info.name), longName.substr(0, 31));

	ASSERT_EQ(rename_thread(thread.Id(), "renamed"), B_OK);
	EXPECT_EQ(find_thread("renamed"), thread.Id());
	EXPECT_EQ(find_thread(longName.substr(0, 31).c_str()), B_NAME_NOT_FOUND);
	std::string comm = "/proc/self/task/" + std::to_string(linuxId) + "/comm";
	FILE* file = fopen(comm.c_str(), "r");
	ASSERT_NE(file, nullptr);
	char renamed[32] = {};
	ASSERT_NE(fgets(renamed, sizeof(renamed), file), nullptr);
	fclose(file);
	EXPECT_EQ(std::string(renamed), "renamed\n");
	release_sem(gate);
	EXPECT_EQ(thread.Join(), B_OK);
	delete_sem(gate);
}

TEST(Thread, PrioritiesAreAcceptedReportedAndHintedToLinux)
{
	std::atomic<int> lowNice{-100};
	TestThread low(
	    [&] {
		    lowNice = getpriority(PRIO_PROCESS, gettid());
		    return 0;
	    },
	    "low", B_LOW_PRIORITY);
	EXPECT_EQ(low.Join(), 0);
	EXPECT_EQ(lowNice, 5);

	// Raising needs a privilege the process may not have; it must not fail either way.
	for (int32 priority :
	     {B_NORMAL_PRIORITY, B_DISPLAY_PRIORITY, B_URGENT_DISPLAY_PRIORITY, B_REAL_TIME_PRIORITY}) {
		TestThread thread([] { return 0; }, "prioritised", priority);
		ASSERT_GT(thread.Id(), 0);
		thread_info info;
		ASSERT_EQ(get_thread_info(thread.Id(), &info), B_OK);
		EXPECT_EQ(info.priority, priority);
		EXPECT_EQ(set_thread_priority(thread.Id(), B_NORMAL_PRIORITY), priority);
		EXPECT_EQ(thread.Join(), 0);
	}
	EXPECT_EQ(set_thread_priority(INT32_MAX, 10), B_BAD_THREAD_ID);
}

TEST(Thread, SuspendedSnoozeEndsWithInterruptedOnlyAfterResume)
{
	std::atomic<bool> returned{false};
	TestThread thread([&] {
		status_t status = snooze(60000000);
		returned = true;
		return status;
	});
	ASSERT_EQ(thread.Start(), B_OK);
	ASSERT_TRUE(Eventually([&] { return StateOf(thread.Id()) == B_THREAD_ASLEEP; }));
	ASSERT_EQ(suspend_thread(thread.Id()), B_OK);
	snooze(kObservation);
	EXPECT_FALSE(returned);
	EXPECT_EQ(StateOf(thread.Id()), B_THREAD_SUSPENDED);
	ASSERT_EQ(resume_thread(thread.Id()), B_OK);
	EXPECT_EQ(thread.Join(), B_INTERRUPTED);
}

TEST(Thread, SuspensionsDoNotNest)
{
	sem_id gate = create_sem(0, "gate");
	TestThread thread([&] {
		status_t status = snooze(60000000);
		acquire_sem(gate); // stays alive for the second resume
		return status;
	});
	ASSERT_EQ(thread.Start(), B_OK);
	ASSERT_TRUE(Eventually([&] { return IsBlocked(thread.Id()); }));
	ASSERT_EQ(suspend_thread(thread.Id()), B_OK);
	ASSERT_EQ(suspend_thread(thread.Id()), B_OK);
	ASSERT_EQ(resume_thread(thread.Id()), B_OK);
	EXPECT_EQ(resume_thread(thread.Id()), B_BAD_THREAD_STATE);
	release_sem(gate);
	EXPECT_EQ(thread.Join(), B_INTERRUPTED);
	delete_sem(gate);
}

TEST(Thread, RunningThreadSuspendedStopsAtItsNextWaitThenProceedsNormally)
{
	std::atomic<bool> go{false};
	std::atomic<bool> reachedWait{false};
	std::atomic<bool> returned{false};
	sem_id available = create_sem(1, "available");
	TestThread thread([&] {
		while (!go) {
			// Busy, outside the layer: suspension cannot stop it here.
		}
		reachedWait = true;
		status_t status = acquire_sem_etc(available, 1, B_RELATIVE_TIMEOUT, 1000000);
		returned = true;
		return status;
	});
	ASSERT_EQ(thread.Start(), B_OK);
	ASSERT_EQ(suspend_thread(thread.Id()), B_OK);
	go = true;
	ASSERT_TRUE(Eventually([&] { return reachedWait.load(); }));
	snooze(kObservation);
	EXPECT_FALSE(returned);
	ASSERT_EQ(resume_thread(thread.Id()), B_OK);
	EXPECT_EQ(thread.Join(), B_OK);
	int32 count = -1;
	get_sem_count(available, &count);
	EXPECT_EQ(count, 0);
	delete_sem(available);
}

TEST(Thread, CheckSuspensionStopsASuspendedThreadUntilResumed)
{
	std::atomic<bool> go{false};
	std::atomic<bool> passed{false};
	TestThread thread([&] {
		while (!go) {
		}
		BPrivate::CheckSuspension();
		passed = true;
		return 0;
	});
	ASSERT_EQ(thread.Start(), B_OK);
	ASSERT_EQ(suspend_thread(thread.Id()), B_OK);
	go = true;
	snooze(kObservation);
	EXPECT_FALSE(passed);
	ASSERT_EQ(resume_thread(thread.Id()), B_OK);
	EXPECT_EQ(thread.Join(), 0);
	EXPECT_TRUE(passed);
}

TEST(Thread, SuspendedWaitForThreadEndsWithInterruptedAfterResume)
{
	sem_id gate = create_sem(0, "gate");
	TestThread target([&] { return acquire_sem(gate); });
	ASSERT_EQ(target.Start(), B_OK);
	std::atomic<bool> returned{false};
	TestThread waiter([&] {
		status_t exitValue;
		status_t status = wait_for_thread(target.Id(), &exitValue);
		returned = true;
		return status;
	});
	ASSERT_EQ(waiter.Start(), B_OK);
	ASSERT_TRUE(Eventually([&] { return IsBlocked(waiter.Id()); }));
	ASSERT_EQ(suspend_thread(waiter.Id()), B_OK);
	snooze(kObservation);
	EXPECT_FALSE(returned);
	EXPECT_EQ(waiter.Join(), B_INTERRUPTED);
	release_sem(gate);
	EXPECT_EQ(target.Join(), B_OK);
	delete_sem(gate);
}

TEST(Thread, TwoWaitersForOneThreadBothGetItsExitValue)
{
	sem_id gate = create_sem(0, "gate");
	TestThread target([&] {
		acquire_sem(gate);
		return 99;
	});
	ASSERT_EQ(target.Start(), B_OK);
	auto waitBody = [&] {
		status_t exitValue = 0;
		status_t status = wait_for_thread(target.Id(), &exitValue);
		return status == B_OK ? exitValue : status;
	};
	TestThread first(waitBody);
	TestThread second(waitBody);
	first.Start();
	second.Start();
	ASSERT_TRUE(Eventually([&] { return IsBlocked(first.Id()) && IsBlocked(second.Id()); }));
	release_sem(gate);
	EXPECT_EQ(first.Join(), 99);
	EXPECT_EQ(second.Join(), 99);
	delete_sem(gate);
}

// The shut-down of a worker: suspend it, release the semaphore it waits on, wait for it. Whatever
// the worker was doing (in the wait, between two waits, about to wait), it must end.
TEST(Thread, SuspendReleaseWaitEndsAWorkerInATimedWaitLoop)
{
	for (int round = 0; round < 200; round++) {
		sem_id quit = create_sem(0, "quit");
		TestThread worker([&] {
			for (;;) {
				status_t status = acquire_sem_etc(quit, 1, B_RELATIVE_TIMEOUT, 20000);
				if (status != B_TIMED_OUT)
					return status;
				std::atomic<int> work{0};
				while (work.fetch_add(1, std::memory_order_relaxed) < 1000) {
				}
			}
		});
		ASSERT_EQ(worker.Start(), B_OK);
		if (round % 4 != 0)
			snooze((round % 7) * 500);
		ASSERT_EQ(suspend_thread(worker.Id()), B_OK);
		ASSERT_EQ(release_sem(quit), B_OK);
		status_t result = worker.Join();
		EXPECT_TRUE(result == B_OK || result == B_INTERRUPTED) << result;
		ASSERT_EQ(delete_sem(quit), B_OK);
	}
}

TEST(Thread, SuspendReleaseWaitEndsAWorkerInAnUntimedWait)
{
	for (int round = 0; round < 200; round++) {
		sem_id quit = create_sem(0, "quit");
		TestThread worker([&] {
			// Retries an interrupted wait, as a worker that only ends on its quit count would.
			status_t status;
			do
				status = acquire_sem(quit);
			while (status == B_INTERRUPTED);
			return status;
		});
		ASSERT_EQ(worker.Start(), B_OK);
		if (round % 3 != 0)
			snooze((round % 5) * 300);
		ASSERT_EQ(suspend_thread(worker.Id()), B_OK);
		ASSERT_EQ(release_sem(quit), B_OK);
		EXPECT_EQ(worker.Join(), B_OK);
		ASSERT_EQ(delete_sem(quit), B_OK);
	}
}

TEST(Thread, AThreadTheKernelDidNotMakeGetsAnIdThatGoesStaleWhenItEnds)
{
	sem_id gate = create_sem(0, "gate");
	std::atomic<thread_id> id{0};
	std::thread foreign([&] {
		id = find_thread(NULL);
		acquire_sem(gate);
	});
	ASSERT_TRUE(Eventually([&] { return id > 0; }));
	EXPECT_NE(id, find_thread(NULL));
	ASSERT_TRUE(Eventually([&] { return IsBlocked(id); }));
	TestThread waiter([&] { return wait_for_thread(id, NULL); });
	ASSERT_EQ(waiter.Start(), B_OK);
	ASSERT_TRUE(Eventually([&] { return IsBlocked(waiter.Id()); }));
	release_sem(gate);
	EXPECT_EQ(waiter.Join(), B_OK);
	foreign.join();
	EXPECT_EQ(wait_for_thread(id, NULL), B_BAD_THREAD_ID);
	EXPECT_EQ(suspend_thread(id), B_BAD_THREAD_ID);
	delete_sem(gate);
}
