#include <atomic>
#include <mutex>
#include <vector>

#include <gtest/gtest.h>

#include <OS.h>

#include "platform/kernel/KernelTesting.h"

using namespace KernelTesting;

namespace {

const bigtime_t kObservation = 100000;

int32 CountOf(sem_id sem)
{
	int32 count = INT32_MIN;
	EXPECT_EQ(get_sem_count(sem, &count), B_OK);
	return count;
}

} // namespace

TEST(Semaphore, CreateRefusesANegativeCountAndGivesDistinctPositiveIds)
{
	EXPECT_EQ(create_sem(-1, "negative"), B_BAD_VALUE);
	sem_id first = create_sem(0, "first");
	sem_id second = create_sem(5, NULL);
	ASSERT_GT(first, 0);
	ASSERT_GT(second, first);
	EXPECT_EQ(CountOf(second), 5);
	delete_sem(first);
	delete_sem(second);
}

TEST(Semaphore, AvailableCountIsTakenAtOnceWhateverTheTimeout)
{
	sem_id sem = create_sem(3, "three");
	EXPECT_EQ(acquire_sem_etc(sem, 1, B_RELATIVE_TIMEOUT, 0), B_OK);
	EXPECT_EQ(acquire_sem_etc(sem, 1, B_RELATIVE_TIMEOUT, -5), B_OK);
	EXPECT_EQ(acquire_sem_etc(sem, 1, B_ABSOLUTE_TIMEOUT, 0), B_OK);
	EXPECT_EQ(CountOf(sem), 0);
	delete_sem(sem);
}

TEST(Semaphore, NoTimeToWaitGivesWouldBlock)
{
	sem_id sem = create_sem(1, "one");
	EXPECT_EQ(acquire_sem_etc(sem, 2, B_RELATIVE_TIMEOUT, 0), B_WOULD_BLOCK);
	EXPECT_EQ(acquire_sem_etc(sem, 2, B_RELATIVE_TIMEOUT, -1000), B_WOULD_BLOCK);
	EXPECT_EQ(acquire_sem_etc(sem, 2, B_ABSOLUTE_TIMEOUT, -1), B_WOULD_BLOCK);
	EXPECT_EQ(CountOf(sem), 1);
	delete_sem(sem);
}

TEST(Semaphore, ExpiredTimeoutGivesTimedOutNotBeforeTheDeadline)
{
	sem_id sem = create_sem(0, "empty");
	bigtime_t start = system_time();
	EXPECT_EQ(acquire_sem_etc(sem, 1, B_RELATIVE_TIMEOUT, 20000), B_TIMED_OUT);
	EXPECT_GE(system_time() - start, 20000);

	bigtime_t deadline = system_time() + 20000;
	EXPECT_EQ(acquire_sem_etc(sem, 1, B_ABSOLUTE_TIMEOUT, deadline), B_TIMED_OUT);
	EXPECT_GE(system_time(), deadline);

	// An absolute deadline already gone is waited for, and so has passed.
	EXPECT_EQ(acquire_sem_etc(sem, 1, B_ABSOLUTE_TIMEOUT, 1), B_TIMED_OUT);
	EXPECT_EQ(CountOf(sem), 0);
	delete_sem(sem);
}

TEST(Semaphore, CountsBelowOneAreBadValues)
{
	sem_id sem = create_sem(1, "one");
	EXPECT_EQ(acquire_sem_etc(sem, 0, 0, 0), B_BAD_VALUE);
	EXPECT_EQ(acquire_sem_etc(sem, -1, 0, 0), B_BAD_VALUE);
	EXPECT_EQ(release_sem_etc(sem, 0, 0), B_BAD_VALUE);
	EXPECT_EQ(CountOf(sem), 1);
	delete_sem(sem);
}

TEST(Semaphore, ReleaseWakesWaitersInArrivalOrder)
{
	sem_id sem = create_sem(0, "queue");
	std::mutex orderLock;
	std::vector<int> order;
	std::vector<std::unique_ptr<TestThread>> waiters;
	for (int i = 0; i < 4; i++) {
		waiters.push_back(std::make_unique<TestThread>([&, i] {
			status_t status = acquire_sem(sem);
			std::lock_guard<std::mutex> lock(orderLock);
			order.push_back(i);
			return status;
		}));
		waiters.back()->Start();
		ASSERT_TRUE(Eventually([&] { return CountOf(sem) == -(i + 1); }));
	}
	for (int i = 0; i < 4; i++) {
		ASSERT_EQ(release_sem(sem), B_OK);
		ASSERT_TRUE(Eventually([&] {
			std::lock_guard<std::mutex> lock(orderLock);
			return (int)order.size() == i + 1;
		}));
	}
	for (auto& waiter : waiters)
		EXPECT_EQ(waiter->Join(), B_OK);
	EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
	delete_sem(sem);
}

TEST(Semaphore, AWaiterWantingSeveralCountsHoldsUpTheOnesBehindIt)
{
	sem_id sem = create_sem(0, "several");
	std::atomic<bool> bigDone{false};
	std::atomic<bool> smallDone{false};
	TestThread big([&] {
		status_t status = acquire_sem_etc(sem, 3, 0, 0);
		bigDone = true;
		return status;
	});
	big.Start();
	ASSERT_TRUE(Eventually([&] { return CountOf(sem) == -3; }));
	TestThread small([&] {
		status_t status = acquire_sem(sem);
		smallDone = true;
		return status;
	});
	small.Start();
	ASSERT_TRUE(Eventually([&] { return CountOf(sem) == -4; }));

	release_sem(sem);
	snooze(kObservation);
	EXPECT_FALSE(smallDone);
	EXPECT_FALSE(bigDone);
	release_sem_etc(sem, 2, 0);
	EXPECT_EQ(big.Join(), B_OK);
	EXPECT_FALSE(smallDone);
	release_sem(sem);
	EXPECT_EQ(small.Join(), B_OK);
	EXPECT_EQ(CountOf(sem), 0);
	delete_sem(sem);
}

TEST(Semaphore, AFirstWaiterThatTimesOutLetsTheNextThrough)
{
	sem_id sem = create_sem(0, "timing out");
	TestThread big([&] { return acquire_sem_etc(sem, 5, B_RELATIVE_TIMEOUT, 50000); });
	big.Start();
	ASSERT_TRUE(Eventually([&] { return CountOf(sem) == -5; }));
	TestThread small([&] { return acquire_sem(sem); });
	small.Start();
	ASSERT_TRUE(Eventually([&] { return CountOf(sem) == -6; }));
	release_sem(sem);
	EXPECT_EQ(big.Join(), B_TIMED_OUT);
	EXPECT_EQ(small.Join(), B_OK);
	EXPECT_EQ(CountOf(sem), 0);
	delete_sem(sem);
}

TEST(Semaphore, DeleteWakesEveryWaiterWithBadSemId)
{
	sem_id sem = create_sem(0, "doomed");
	TestThread untimed([&] { return acquire_sem(sem); });
	TestThread timed([&] { return acquire_sem_etc(sem, 1, B_RELATIVE_TIMEOUT, 60000000); });
	untimed.Start();
	timed.Start();
	ASSERT_TRUE(Eventually([&] { return CountOf(sem) == -2; }));
	ASSERT_EQ(delete_sem(sem), B_OK);
	EXPECT_EQ(untimed.Join(), B_BAD_SEM_ID);
	EXPECT_EQ(timed.Join(), B_BAD_SEM_ID);
}

TEST(Semaphore, ADeletedIdIsStaleForGoodAndNeverReused)
{
	sem_id sem = create_sem(1, "stale");
	ASSERT_EQ(delete_sem(sem), B_OK);
	int32 count;
	EXPECT_EQ(acquire_sem(sem), B_BAD_SEM_ID);
	EXPECT_EQ(acquire_sem_etc(sem, 1, B_RELATIVE_TIMEOUT, 0), B_BAD_SEM_ID);
	EXPECT_EQ(release_sem(sem), B_BAD_SEM_ID);
	EXPECT_EQ(get_sem_count(sem, &count), B_BAD_SEM_ID);
	EXPECT_EQ(delete_sem(sem), B_BAD_SEM_ID);
	for (int i = 0; i < 10; i++) {
		sem_id next = create_sem(0, "next");
		EXPECT_NE(next, sem);
		delete_sem(next);
	}
	EXPECT_EQ(release_sem(-1), B_BAD_SEM_ID);
}

TEST(Semaphore, SuspendedWaiterIsInterruptedOnlyAfterResumeAndTakesNothing)
{
	sem_id sem = create_sem(0, "suspended waiter");
	std::atomic<bool> returned{false};
	TestThread waiter([&] {
		status_t status = acquire_sem_etc(sem, 1, B_RELATIVE_TIMEOUT, 60000000);
		returned = true;
		return status;
	});
	waiter.Start();
	ASSERT_TRUE(Eventually([&] { return CountOf(sem) == -1; }));
	ASSERT_EQ(suspend_thread(waiter.Id()), B_OK);
	EXPECT_EQ(CountOf(sem), 0); // no longer waiting
	ASSERT_EQ(release_sem(sem), B_OK);
	snooze(kObservation);
	EXPECT_FALSE(returned);
	EXPECT_EQ(CountOf(sem), 1);
	ASSERT_EQ(resume_thread(waiter.Id()), B_OK);
	EXPECT_EQ(waiter.Join(), B_INTERRUPTED);
	EXPECT_EQ(CountOf(sem), 1);
	delete_sem(sem);
}

TEST(Semaphore, ConcurrentAcquiresAndReleasesBalance)
{
	sem_id sem = create_sem(0, "balance");
	const int kThreads = 4;
	const int kRounds = 2000;
	std::vector<std::unique_ptr<TestThread>> threads;
	for (int i = 0; i < kThreads; i++) {
		threads.push_back(std::make_unique<TestThread>([&] {
			for (int round = 0; round < kRounds; round++) {
				if (release_sem(sem) != B_OK)
					return B_ERROR;
				status_t status;
				while ((status = acquire_sem_etc(sem, 1, B_RELATIVE_TIMEOUT, 1000)) ==
				       B_TIMED_OUT) {
				}
				if (status != B_OK)
					return status;
			}
			return B_OK;
		}));
		threads.back()->Start();
	}
	for (auto& thread : threads)
		EXPECT_EQ(thread->Join(), B_OK);
	EXPECT_EQ(CountOf(sem), 0);
	delete_sem(sem);
}
