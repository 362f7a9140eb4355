#include <string.h>
#include <time.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <OS.h>

#include "MessageLines.h"
#include "kernel/TestClock.h"
#include "platform/kernel/KernelTesting.h"

using BPrivate::AdvanceClockForTesting;
using namespace KernelTesting;

namespace {

const bigtime_t kHour = 3600LL * 1000000;

// Gives each test a fresh key queue, and takes it away again.
class KeyQueueTest : public testing::Test
{
protected:
	void SetUp() override
	{
		fPort = create_port(16, "KeyQueue");
		ASSERT_GT(fPort, 0);
		keyQueue = fPort;
	}

	void TearDown() override
	{
		keyQueue = -1;
		delete_port(fPort);
	}

	port_id fPort = -1;
};

std::string ShowAndCapture(const char* line1, const char* line2)
{
	testing::internal::CaptureStdout();
	M_ShowMessage(line1, line2);
	fflush(stdout);
	return testing::internal::GetCapturedStdout();
}

} // namespace

TEST(MessageLines, ShowPublishesBothLinesAndPrintsThem)
{
	std::string printed = ShowAndCapture("Remove floppy   ", "Insert CD, ENTER");
	EXPECT_EQ(printed, "\nRemove floppy   \nInsert CD, ENTER\n\n");
	char line1[kMessageLineSize];
	char line2[kMessageLineSize];
	M_ReadMessage(line1, line2);
	EXPECT_STREQ(line1, "Remove floppy   ");
	EXPECT_STREQ(line2, "Insert CD, ENTER");
}

TEST(MessageLines, ALongerLineIsCutAt16CharactersButPrintedWhole)
{
	std::string printed = ShowAndCapture("0123456789abcdefXYZ", "short");
	EXPECT_EQ(printed, "\n0123456789abcdefXYZ\nshort\n\n");
	char line1[kMessageLineSize];
	char line2[kMessageLineSize];
	M_ReadMessage(line1, line2);
	EXPECT_STREQ(line1, "0123456789abcdef");
	EXPECT_STREQ(line2, "short");
}

// Readers race a writer that publishes pairs whose halves belong together: a reader must only
// ever see a pair that was published, never one half of each.
TEST(MessageLines, ReadersOnlyEverSeeWholePublishedPairs)
{
	ShowAndCapture("A000000000000000", "a000000000000000");
	std::atomic<bool> stop{false};
	std::atomic<int> torn{0};
	std::vector<std::unique_ptr<TestThread>> readers;
	for (int i = 0; i < 2; i++) {
		readers.push_back(std::make_unique<TestThread>([&] {
			while (!stop) {
				char line1[kMessageLineSize];
				char line2[kMessageLineSize];
				M_ReadMessage(line1, line2);
				if (strlen(line1) != 16 || strlen(line2) != 16 || line1[0] != line2[0] - 32 ||
				    strcmp(line1 + 1, line2 + 1) != 0)
					torn++;
			}
			return B_OK;
		}));
		readers.back()->Start();
	}
	testing::internal::CaptureStdout();
	for (int i = 0; i < 20000; i++) {
		char line1[kMessageLineSize];
		char line2[kMessageLineSize];
		snprintf(line1, sizeof(line1), "%c%015d", 'A' + i % 26, i);
		snprintf(line2, sizeof(line2), "%c%015d", 'a' + i % 26, i);
		M_ShowMessage(line1, line2);
	}
	testing::internal::GetCapturedStdout();
	stop = true;
	for (auto& reader : readers)
		EXPECT_EQ(reader->Join(), B_OK);
	EXPECT_EQ(torn, 0);
}

TEST_F(KeyQueueTest, KeysQueuedBeforeTheCallAreConsumedInOrder)
{
	ASSERT_EQ(M_WriteKey('a'), B_OK);
	ASSERT_EQ(M_WriteKey('b'), B_OK);
	ASSERT_EQ(M_WriteKey('\n'), B_OK);
	EXPECT_EQ(M_GetKeypress("\n", 0), '\n');
	EXPECT_EQ(port_count(fPort), 0);
}

TEST_F(KeyQueueTest, AnAcceptedKeyLeavesTheKeysBehindItQueued)
{
	M_WriteKey('x');
	M_WriteKey('\\');
	M_WriteKey('\n');
	EXPECT_EQ(M_GetKeypress("\\\n", 0), '\\');
	EXPECT_EQ(port_count(fPort), 1);
	EXPECT_EQ(M_GetKeypress("\n", 0), '\n');
}

TEST_F(KeyQueueTest, AKeyArrivingDuringTheWaitIsAccepted)
{
	TestThread typist([] {
		snooze(10000);
		return M_WriteKey('\n');
	});
	typist.Start();
	EXPECT_EQ(M_GetKeypress("\n", kPatience), '\n');
	EXPECT_EQ(typist.Join(), B_OK);
}

TEST_F(KeyQueueTest, WithATimeoutUnacceptedKeysAreConsumedAndTheResultIs0)
{
	M_WriteKey('q');
	M_WriteKey('r');
	bigtime_t start = system_time();
	EXPECT_EQ(M_GetKeypress("\n", 30000), 0);
	EXPECT_GE(system_time() - start, 30000);
	EXPECT_EQ(port_count(fPort), 0);
}

TEST_F(KeyQueueTest, ANegativeTimeoutStillTakesAQueuedKeyButDoesNotWait)
{
	EXPECT_EQ(M_GetKeypress("\n", -1), 0);
	M_WriteKey('\n');
	EXPECT_EQ(M_GetKeypress("\n", -1), '\n');
}

TEST_F(KeyQueueTest, KeysAreTheLowByteOfTheCodeAndAZeroByteIsNeverAccepted)
{
	// A key whose code has 0 in its low 8 bits matches nothing, not even the set's end.
	ASSERT_EQ(write_port(fPort, 0x100, NULL, 0), B_OK);
	ASSERT_EQ(write_port(fPort, 0, NULL, 0), B_OK);
	ASSERT_EQ(write_port(fPort, 0x20a, NULL, 0), B_OK); // low byte '\n'
	EXPECT_EQ(M_GetKeypress("\n", kPatience), '\n');
	EXPECT_EQ(port_count(fPort), 0);
}

TEST_F(KeyQueueTest, KeysAreSignExtendedCodes)
{
	ASSERT_EQ(M_WriteKey((char)0xe9), B_OK);
	int32 code = 0;
	ASSERT_EQ(read_port(fPort, &code, NULL, 0), 0);
	EXPECT_EQ(code, (int32)(int8)0xe9);
	EXPECT_EQ(M_WriteKey('\n'), B_OK);
	ASSERT_EQ(read_port(fPort, &code, NULL, 0), 0);
	EXPECT_EQ(code, 10);
}

TEST_F(KeyQueueTest, WritingAKeyToAFullQueueReturnsAtOnce)
{
	for (int i = 0; i < 16; i++)
		ASSERT_EQ(M_WriteKey('k'), B_OK);
	EXPECT_EQ(M_WriteKey('\n'), B_WOULD_BLOCK);
	EXPECT_EQ(port_count(fPort), 16);
}

TEST(MessageLines, WritingAKeyWithoutAQueueIsHarmless)
{
	ASSERT_EQ(keyQueue.load(), -1);
	EXPECT_EQ(M_WriteKey('\n'), B_BAD_PORT_ID);
	port_id port = create_port(16, "KeyQueue");
	keyQueue = port;
	delete_port(port);
	EXPECT_EQ(M_WriteKey('\n'), B_BAD_PORT_ID);
	keyQueue = -1;
}

TEST(MessageLines, WaitingForAKeyWithoutAQueueHonoursTheDeadlineWithoutSpinning)
{
	ASSERT_EQ(keyQueue.load(), -1);
	struct timespec cpuBefore;
	clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuBefore);
	bigtime_t start = system_time();
	EXPECT_EQ(M_GetKeypress("\n", 250000), 0);
	EXPECT_GE(system_time() - start, 250000);
	struct timespec cpuAfter;
	clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuAfter);
	double cpuSeconds =
	    (cpuAfter.tv_sec - cpuBefore.tv_sec) + (cpuAfter.tv_nsec - cpuBefore.tv_nsec) / 1e9;
	EXPECT_LT(cpuSeconds, 0.1); // a spinning wait would use the whole quarter second
}

TEST(MessageLines, WaitingForAKeyPicksUpAQueueCreatedMeanwhile)
{
	ASSERT_EQ(keyQueue.load(), -1);
	port_id port = create_port(16, "KeyQueue");
	TestThread creator([port] {
		snooze(20000);
		write_port(port, '\n', NULL, 0);
		keyQueue = port;
		return B_OK;
	});
	creator.Start();
	EXPECT_EQ(M_GetKeypress("\n", kPatience), '\n');
	EXPECT_EQ(creator.Join(), B_OK);
	keyQueue = -1;
	delete_port(port);
}

namespace {

// A thread waiting for ENTER without a deadline. The 24 hours of such a wait pass on the kernel's
// test clock. Whether the wait is still going on is read from the kernel right after each move of
// the clock, which settles it: a wait whose deadline has passed has ended by then.
class WaiterWithoutADeadline
{
public:
	WaiterWithoutADeadline()
	    : fThread([this] {
		      fResult = M_GetKeypress("\n", 0);
		      return B_OK;
	      })
	{
	}

	// Whether it started and is waiting.
	bool Start() { return fThread.Start() == B_OK && Eventually([&] { return IsWaiting(); }); }
	bool IsWaiting() const { return IsBlocked(fThread.Id()); }

	// What the wait returned, once it has ended by itself. The ENTER written first cannot change
	// that; were the wait still going on, it ends it, and the test fails instead of hanging.
	int Result()
	{
		M_WriteKey('\n');
		EXPECT_TRUE(Eventually([&] { return fResult != -1; }));
		EXPECT_EQ(fThread.Join(), B_OK);
		return fResult;
	}

private:
	std::atomic<int> fResult{-1};
	TestThread fThread;
};

} // namespace

TEST_F(KeyQueueTest, WithoutADeadlineTheWaitGivesUpAfter24HoursWithoutAnyKey)
{
	WaiterWithoutADeadline waiter;
	ASSERT_TRUE(waiter.Start());
	AdvanceClockForTesting(23 * kHour);
	EXPECT_TRUE(waiter.IsWaiting()) << "gave up before 24 hours";
	AdvanceClockForTesting(kHour);
	EXPECT_FALSE(waiter.IsWaiting()) << "still waiting after 24 hours";
	EXPECT_EQ(waiter.Result(), 0);
}

TEST_F(KeyQueueTest, AKeyThatIsNotAcceptedRenewsThe24Hours)
{
	WaiterWithoutADeadline waiter;
	ASSERT_TRUE(waiter.Start());
	AdvanceClockForTesting(23 * kHour);
	ASSERT_EQ(M_WriteKey('a'), B_OK);
	// Taken, dropped, and waited for again: the wait that follows is a new one.
	ASSERT_TRUE(Eventually([&] { return port_count(fPort) == 0 && waiter.IsWaiting(); }));
	AdvanceClockForTesting(23 * kHour);
	EXPECT_TRUE(waiter.IsWaiting()) << "the key did not renew the 24 hours";
	AdvanceClockForTesting(kHour);
	EXPECT_FALSE(waiter.IsWaiting()) << "still waiting 24 hours after the last key";
	EXPECT_EQ(waiter.Result(), 0);
}
