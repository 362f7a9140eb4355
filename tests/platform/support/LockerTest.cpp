#include <atomic>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include <Autolock.h>
#include <Locker.h>
#include <OS.h>

#include "platform/kernel/KernelTesting.h"

using namespace KernelTesting;

TEST(Locker, NestsForTheHoldingThread)
{
	BLocker locker("nested");
	EXPECT_STREQ(locker.Name(), "nested");
	EXPECT_FALSE(locker.IsLocked());
	EXPECT_EQ(locker.LockingThread(), B_ERROR);
	ASSERT_TRUE(locker.Lock());
	ASSERT_TRUE(locker.Lock());
	EXPECT_EQ(locker.LockWithTimeout(0), B_OK);
	EXPECT_EQ(locker.CountLocks(), 3);
	EXPECT_TRUE(locker.IsLocked());
	EXPECT_EQ(locker.LockingThread(), find_thread(NULL));
	locker.Unlock();
	locker.Unlock();
	EXPECT_TRUE(locker.IsLocked());
	locker.Unlock();
	EXPECT_FALSE(locker.IsLocked());
	EXPECT_EQ(locker.CountLocks(), 0);
}

TEST(Locker, AnotherThreadTimesOutWhileItIsHeldAndGetsItOnceReleased)
{
	BLocker locker;
	ASSERT_TRUE(locker.Lock());
	std::atomic<bool> refused{false};
	std::atomic<bool> holds{false};
	sem_id release = create_sem(0, "release");
	TestThread other([&] {
		if (locker.IsLocked())
			return B_ERROR;
		if (locker.LockWithTimeout(0) != B_TIMED_OUT)
			return B_ERROR;
		bigtime_t start = system_time();
		if (locker.LockWithTimeout(20000) != B_TIMED_OUT || system_time() - start < 20000)
			return B_ERROR;
		refused = true;
		if (!locker.Lock())
			return B_ERROR;
		holds = true;
		acquire_sem(release);
		locker.Unlock();
		return B_OK;
	});
	other.Start();
	ASSERT_TRUE(Eventually([&] { return refused.load(); }));
	EXPECT_FALSE(holds);
	locker.Unlock();
	ASSERT_TRUE(Eventually([&] { return holds.load(); }));
	EXPECT_EQ(locker.LockingThread(), other.Id());
	EXPECT_FALSE(locker.IsLocked());
	release_sem(release);
	EXPECT_EQ(other.Join(), B_OK);
	EXPECT_EQ(locker.LockingThread(), B_ERROR);
	delete_sem(release);
}

TEST(Locker, KeepsThreadsOutOfEachOthersWay)
{
	BLocker locker("counter");
	int counter = 0;
	const int kThreads = 4;
	const int kRounds = 5000;
	std::vector<std::unique_ptr<TestThread>> threads;
	for (int i = 0; i < kThreads; i++) {
		threads.push_back(std::make_unique<TestThread>([&] {
			for (int round = 0; round < kRounds; round++) {
				BAutolock lock(locker);
				BAutolock nested(&locker);
				counter++;
			}
			return B_OK;
		}));
		threads.back()->Start();
	}
	for (auto& thread : threads)
		EXPECT_EQ(thread->Join(), B_OK);
	EXPECT_EQ(counter, kThreads * kRounds);
}

TEST(Autolock, HoldsTheLockForItsScope)
{
	BLocker locker;
	{
		BAutolock lock(locker);
		EXPECT_TRUE(lock.IsLocked());
		EXPECT_TRUE(locker.IsLocked());
		{
			BAutolock nested(&locker);
			EXPECT_EQ(locker.CountLocks(), 2);
		}
		EXPECT_EQ(locker.CountLocks(), 1);
	}
	EXPECT_FALSE(locker.IsLocked());
}

TEST(Autolock, CanGiveTheLockBackEarlyAndOnlyOnce)
{
	BLocker locker;
	BAutolock lock(&locker);
	lock.Unlock();
	EXPECT_FALSE(lock.IsLocked());
	EXPECT_FALSE(locker.IsLocked());
	lock.Unlock();
	EXPECT_EQ(locker.CountLocks(), 0);
}

TEST(Autolock, WithoutALockerHoldsNothing)
{
	BAutolock lock((BLocker*)NULL);
	EXPECT_FALSE(lock.IsLocked());
}
