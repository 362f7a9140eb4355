#include <Invoker.h>

#include <gtest/gtest.h>

#include <Looper.h>
#include <Message.h>

#include "platform/app/RecordingLooper.h"

namespace {

// Counts its own destruction, to see who deletes it.
class CountedMessage : public BMessage
{
public:
	CountedMessage(uint32 command, int* deletions) : BMessage(command), fDeletions(deletions) {}
	~CountedMessage() override { (*fDeletions)++; }

private:
	int* fDeletions;
};

} // namespace

TEST(Invoker, InvokeSendsACopyOfItsMessageEachTime)
{
	RecordingLooper* looper = new RecordingLooper;
	looper->Run();
	BMessage* message = new BMessage('DATA');
	message->AddInt32("which", 0);
	BInvoker invoker(message, BMessenger(looper));

	ASSERT_EQ(B_OK, invoker.Invoke());
	message->ReplaceInt32("which", 5);
	ASSERT_EQ(B_OK, invoker.Invoke());

	ASSERT_TRUE(looper->WaitForCount(2));
	std::vector<BMessage> received = looper->Received();
	ASSERT_EQ(2u, received.size());
	EXPECT_EQ((uint32)'DATA', received[0].what);
	EXPECT_EQ(0, received[0].GetInt32("which", -1));
	EXPECT_EQ(5, received[1].GetInt32("which", -1));
	// The invoker still has its own message.
	EXPECT_EQ(message, invoker.Message());
	EXPECT_EQ(5, invoker.Message()->GetInt32("which", -1));

	looper->Lock();
	looper->Quit();
}

TEST(Invoker, InvokeWithAMessageSendsThatOne)
{
	RecordingLooper* looper = new RecordingLooper;
	looper->Run();
	BInvoker invoker(new BMessage('AAAA'), BMessenger(looper));
	BMessage other('BBBB');
	ASSERT_EQ(B_OK, invoker.Invoke(&other));
	ASSERT_TRUE(looper->WaitForCount(1));
	EXPECT_EQ((uint32)'BBBB', looper->Received()[0].what);
	looper->Lock();
	looper->Quit();
}

TEST(Invoker, OwnsItsMessage)
{
	int deletions = 0;
	{
		BInvoker invoker(new CountedMessage('A', &deletions), BMessenger());
		invoker.SetMessage(new CountedMessage('B', &deletions));
		EXPECT_EQ(1, deletions);
		EXPECT_EQ((uint32)'B', invoker.Command());
	}
	EXPECT_EQ(2, deletions);
}

TEST(Invoker, InvokeWithoutAnyMessageIsBadValue)
{
	BInvoker invoker(NULL, BMessenger());
	EXPECT_EQ(B_BAD_VALUE, invoker.Invoke());
}

TEST(Invoker, InvokeToNoTargetFails)
{
	BInvoker invoker(new BMessage('A'), BMessenger());
	EXPECT_EQ(B_BAD_PORT_ID, invoker.Invoke());
}
