// The clock that tests move forward: system_time() jumps, and the kernel's waits see the jump at
// once. Each case waits in a thread until it is blocked, then moves the clock; whether a wait
// has ended is read from the kernel's thread records right after the move, which the move itself
// settles, so nothing here depends on when the scheduler runs the waiting thread.

#include "kernel/TestClock.h"

#include <atomic>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include <OS.h>

#include "kernel/Time.h"
#include "platform/kernel/KernelTesting.h"

using BPrivate::AdvanceClockForTesting;
using namespace KernelTesting;

namespace {

const bigtime_t kHour = 3600LL * 1000000;

// Whether `thread` has returned (its record is no longer a live thread's).
bool HasEnded(thread_id thread)
{
	thread_info info;
	return get_thread_info(thread, &info) == B_BAD_THREAD_ID;
}

// A thread that makes one kernel call and keeps its result. One whose call never returns (the
// case under test failed) is left to the end of the process rather than waited for.
class Waiter
{
public:
	explicit Waiter(std::function<status_t()> call)
	    : fResult(std::make_shared<std::atomic<status_t>>(1)),
	      fThread(std::make_unique<TestThread>([result = fResult, call] {
		      *result = call();
		      return B_OK;
	      }))
	{
	}

	~Waiter()
	{
		if (!Eventually([this] { return HasEnded(fThread->Id()); }))
			fThread.release();
	}

	// Starts the call and returns once it is blocked in the kernel.
	bool StartAndBlock()
	{
		return fThread->Start() == B_OK && Eventually([this] { return IsBlocked(fThread->Id()); });
	}
	bool IsStillBlocked() const { return IsBlocked(fThread->Id()); }
	// The call's result once the thread has returned; B_ERROR if it did not within the patience.
	status_t Result()
	{
		if (!Eventually([this] { return HasEnded(fThread->Id()); }))
			return B_ERROR;
		fThread->Join();
		return *fResult;
	}

private:
	std::shared_ptr<std::atomic<status_t>> fResult;
	std::unique_ptr<TestThread> fThread;
};

} // namespace

TEST(TestClock, SystemTimeJumpsByTheAmount)
{
	bigtime_t before = system_time();
	AdvanceClockForTesting(kHour);
	bigtime_t after = system_time();
	EXPECT_GE(after - before, kHour);
	EXPECT_LT(after - before, kHour + kPatience);
	AdvanceClockForTesting(0);
	EXPECT_GE(system_time(), after);
}

TEST(TestClock, APortReadWithAnHourToWaitTimesOutOnceTheHourHasPassed)
{
	port_id port = create_port(1, "empty");
	Waiter reader([port] {
		int32 code;
		return (status_t)read_port_etc(port, &code, NULL, 0, B_RELATIVE_TIMEOUT, kHour);
	});
	ASSERT_TRUE(reader.StartAndBlock());
	AdvanceClockForTesting(kHour - kHour / 60);
	EXPECT_TRUE(reader.IsStillBlocked()) << "an hour less a minute is not yet the hour";
	AdvanceClockForTesting(kHour / 60);
	EXPECT_FALSE(reader.IsStillBlocked());
	EXPECT_EQ(reader.Result(), B_TIMED_OUT);
	// The port itself is untouched: a message written now is there for the next reader.
	ASSERT_EQ(write_port(port, 7, NULL, 0), B_OK);
	EXPECT_EQ(port_count(port), 1);
	delete_port(port);
}

TEST(TestClock, AWriterWaitingForRoomTimesOutOnceItsTimeHasPassed)
{
	port_id port = create_port(1, "full");
	ASSERT_EQ(write_port(port, 1, NULL, 0), B_OK);
	Waiter writer([port] { return write_port_etc(port, 2, NULL, 0, B_RELATIVE_TIMEOUT, kHour); });
	ASSERT_TRUE(writer.StartAndBlock());
	AdvanceClockForTesting(kHour);
	EXPECT_EQ(writer.Result(), B_TIMED_OUT);
	EXPECT_EQ(port_count(port), 1);
	delete_port(port);
}

TEST(TestClock, ASemaphoreWaitTimesOutAndLeavesTheCountToTheNextWaiter)
{
	sem_id sem = create_sem(0, "timed");
	Waiter timed([sem] { return acquire_sem_etc(sem, 2, B_RELATIVE_TIMEOUT, kHour); });
	ASSERT_TRUE(timed.StartAndBlock());
	Waiter untimed([sem] { return acquire_sem(sem); });
	ASSERT_TRUE(untimed.StartAndBlock());
	// One count is not enough for the first waiter, and it holds up the second.
	ASSERT_EQ(release_sem(sem), B_OK);
	EXPECT_TRUE(untimed.IsStillBlocked());
	AdvanceClockForTesting(kHour);
	EXPECT_EQ(timed.Result(), B_TIMED_OUT);
	// Its leaving lets the second through with the count that was there.
	EXPECT_EQ(untimed.Result(), B_OK);
	int32 count = -1;
	EXPECT_EQ(get_sem_count(sem, &count), B_OK);
	EXPECT_EQ(count, 0);
	delete_sem(sem);
}

TEST(TestClock, AnUntimedWaitIsNotWokenIntoFailure)
{
	sem_id sem = create_sem(0, "untimed");
	port_id port = create_port(1, "untimed");
	Waiter acquirer([sem] { return acquire_sem(sem); });
	Waiter reader([port] {
		int32 code;
		return (status_t)read_port(port, &code, NULL, 0);
	});
	ASSERT_TRUE(acquirer.StartAndBlock());
	ASSERT_TRUE(reader.StartAndBlock());
	AdvanceClockForTesting(100 * 365 * 24 * kHour);
	EXPECT_TRUE(acquirer.IsStillBlocked());
	EXPECT_TRUE(reader.IsStillBlocked());
	ASSERT_EQ(release_sem(sem), B_OK);
	ASSERT_EQ(write_port(port, 1, NULL, 0), B_OK);
	EXPECT_EQ(acquirer.Result(), B_OK);
	EXPECT_EQ(reader.Result(), 0);
	delete_sem(sem);
	delete_port(port);
}

TEST(TestClock, SnoozeEndsOnceItsTimeHasPassed)
{
	Waiter sleeper([] { return snooze(kHour); });
	ASSERT_TRUE(sleeper.StartAndBlock());
	AdvanceClockForTesting(kHour);
	EXPECT_EQ(sleeper.Result(), B_OK);
}

// The part of a wait that lies beyond the jump is still waited, in real time: the wait goes back
// to sleep for what is left rather than for what was left before the jump.
TEST(TestClock, AWaitWithTimeLeftAfterTheJumpWaitsOnlyThatLong)
{
	const bigtime_t kLeft = 200000;
	sem_id sem = create_sem(0, "left");
	std::atomic<bigtime_t> started{0};
	std::atomic<bigtime_t> ended{0};
	Waiter waiter([&] {
		started = system_time();
		status_t status = acquire_sem_etc(sem, 1, B_RELATIVE_TIMEOUT, kHour + kLeft);
		ended = system_time();
		return status;
	});
	ASSERT_TRUE(waiter.StartAndBlock());
	AdvanceClockForTesting(kHour);
	EXPECT_EQ(waiter.Result(), B_TIMED_OUT); // within the patience, not after another hour
	EXPECT_GE(ended - started, kHour + kLeft) << "ended before its deadline";
	delete_sem(sem);
}

TEST(TestClock, PollsAreCutShortOnceTheClockHasMoved)
{
	AdvanceClockForTesting(1);
	EXPECT_LE(BPrivate::PollTimeout(system_time() + kHour),
	          (int)(BPrivate::kClockRecheckInterval / 1000));
	EXPECT_EQ(BPrivate::PollTimeout(BPrivate::kNoDeadline), -1);
	EXPECT_EQ(BPrivate::PollTimeout(system_time() - 1), 0);
}
