#include <Messenger.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include <Looper.h>
#include <Message.h>

#include "platform/app/RecordingLooper.h"

TEST(Messenger, SendMessageReachesTheLooper)
{
	RecordingLooper* looper = new RecordingLooper;
	looper->Run();
	BMessenger messenger(looper);
	EXPECT_TRUE(messenger.IsValid());
	BMessage message('ABCD');
	message.AddInt32("n", 3);
	ASSERT_EQ(B_OK, messenger.SendMessage(&message));
	ASSERT_EQ(B_OK, messenger.SendMessage('EFGH'));
	ASSERT_TRUE(looper->WaitForCount(2));
	EXPECT_EQ(3, looper->Received()[0].GetInt32("n", -1));
	EXPECT_EQ((uint32)'EFGH', looper->Received()[1].what);
	looper->Lock();
	looper->Quit();
}

TEST(Messenger, MessengerToADeletedLooperFailsWithBadPortId)
{
	bool deleted = false;
	RecordingLooper* looper = new RecordingLooper(&deleted);
	looper->Run();
	BMessenger messenger(looper);
	looper->Lock();
	looper->Quit();
	ASSERT_TRUE(deleted);

	EXPECT_FALSE(messenger.IsValid());
	EXPECT_EQ(B_BAD_PORT_ID, messenger.SendMessage('ABCD'));
	BMessage message('ABCD');
	EXPECT_EQ(B_BAD_PORT_ID, messenger.SendMessage(&message));
	BLooper* target = reinterpret_cast<BLooper*>(1);
	EXPECT_EQ(nullptr, messenger.Target(&target));
	EXPECT_EQ(nullptr, target);
}

TEST(Messenger, SendsRacingTheLoopersDeletionNeverTouchFreedMemory)
{
	// Under AddressSanitizer a send that reached a freed looper would be reported.
	for (int round = 0; round < 20; round++) {
		RecordingLooper* looper = new RecordingLooper;
		looper->Run();
		BMessenger messenger(looper);
		std::atomic<bool> start(false);
		std::atomic<int> failures(0);
		std::vector<std::thread> senders;
		for (int i = 0; i < 3; i++) {
			senders.emplace_back([&] {
				while (!start)
					std::this_thread::yield();
				for (int n = 0; n < 200; n++) {
					status_t status = messenger.SendMessage('PING');
					if (status != B_OK && status != B_BAD_PORT_ID)
						failures++;
				}
			});
		}
		start = true;
		looper->Lock();
		looper->Quit();
		for (std::thread& sender : senders)
			sender.join();
		EXPECT_EQ(0, failures.load());
		EXPECT_EQ(B_BAD_PORT_ID, messenger.SendMessage('PING'));
	}
}

TEST(Messenger, DefaultMessengerIsInvalid)
{
	BMessenger messenger;
	EXPECT_FALSE(messenger.IsValid());
	EXPECT_EQ(B_BAD_PORT_ID, messenger.SendMessage('ABCD'));
	EXPECT_EQ(B_BAD_VALUE, messenger.SendMessage((BMessage*)NULL));
}
