#include <Looper.h>

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>
#include <vector>

#include <Message.h>

#include "platform/app/RecordingLooper.h"

TEST(Looper, LockNestsPerThread)
{
	BLooper* looper = new BLooper("nest");
	ASSERT_TRUE(looper->Lock());
	ASSERT_TRUE(looper->Lock());
	EXPECT_TRUE(looper->IsLocked());
	EXPECT_EQ(2, looper->CountLocks());
	EXPECT_EQ((thread_id)gettid(), looper->LockingThread());

	std::thread other([&] {
		EXPECT_FALSE(looper->IsLocked());
		EXPECT_EQ(B_TIMED_OUT, looper->LockWithTimeout(50000));
	});
	other.join();

	looper->Unlock();
	EXPECT_TRUE(looper->IsLocked());
	looper->Unlock();
	EXPECT_FALSE(looper->IsLocked());
	EXPECT_EQ(-1, looper->LockingThread());

	std::thread taker([&] {
		EXPECT_EQ(B_OK, looper->LockWithTimeout(10000000));
		looper->Unlock();
	});
	taker.join();

	looper->Lock();
	looper->Quit();
}

TEST(Looper, MessagesFromSeveralThreadsKeepEachThreadsOrder)
{
	RecordingLooper* looper = new RecordingLooper;
	looper->Run();
	const int kThreads = 4;
	const int kEach = 250;
	std::vector<std::thread> posters;
	for (int t = 0; t < kThreads; t++) {
		posters.emplace_back([looper, t] {
			for (int n = 0; n < kEach; n++) {
				BMessage message('SEQ ');
				message.AddInt32("thread", t);
				message.AddInt32("n", n);
				looper->PostMessage(&message);
			}
		});
	}
	for (std::thread& poster : posters)
		poster.join();
	ASSERT_TRUE(looper->WaitForCount(kThreads * kEach));

	std::map<int32, int32> next;
	for (const BMessage& message : looper->Received()) {
		int32 thread = message.GetInt32("thread", -1);
		EXPECT_EQ(next[thread], message.GetInt32("n", -1));
		next[thread]++;
	}
	looper->Lock();
	looper->Quit();
}

TEST(Looper, MessagesAreHandledWithTheLooperLocked)
{
	class CheckingLooper : public RecordingLooper
	{
	public:
		void MessageReceived(BMessage* message) override
		{
			lockedInside = IsLocked() && LockingThread() == Thread();
			RecordingLooper::MessageReceived(message);
		}
		std::atomic<bool> lockedInside{false};
	};
	CheckingLooper* looper = new CheckingLooper;
	looper->Run();
	looper->PostMessage('ABCD');
	ASSERT_TRUE(looper->WaitForCount(1));
	EXPECT_TRUE(looper->lockedInside);
	looper->Lock();
	looper->Quit();
}

TEST(Looper, QuitFromAnotherThreadStopsTheThreadAndDeletesTheLooper)
{
	bool deleted = false;
	RecordingLooper* looper = new RecordingLooper(&deleted);
	thread_id thread = looper->Run();
	EXPECT_GT(thread, 0);
	EXPECT_EQ(thread, looper->Thread());
	looper->Lock();
	looper->Quit();
	EXPECT_TRUE(deleted);
}
