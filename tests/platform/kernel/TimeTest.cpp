#include <time.h>

#include <gtest/gtest.h>

#include <OS.h>

#include "kernel/Time.h"

using BPrivate::DeadlineFor;
using BPrivate::IsNonBlocking;
using BPrivate::kNoDeadline;

TEST(Time, SystemTimeRunsOnTheMonotonicClockInMicroseconds)
{
	struct timespec before;
	clock_gettime(CLOCK_MONOTONIC, &before);
	bigtime_t now = system_time();
	struct timespec after;
	clock_gettime(CLOCK_MONOTONIC, &after);
	EXPECT_GE(now, (bigtime_t)before.tv_sec * 1000000 + before.tv_nsec / 1000);
	EXPECT_LE(now, (bigtime_t)after.tv_sec * 1000000 + after.tv_nsec / 1000);
	EXPECT_GE(system_time(), now);
}

TEST(Time, SnoozeReturnsOkAfterAtLeastTheTime)
{
	bigtime_t start = system_time();
	EXPECT_EQ(snooze(10000), B_OK);
	EXPECT_GE(system_time() - start, 10000);
	EXPECT_EQ(snooze(0), B_OK);
	EXPECT_EQ(snooze(-5), B_OK);
}

TEST(Time, SnoozeUntilWaitsForTheDeadlineOrReturnsAtOnceWhenItHasPassed)
{
	bigtime_t deadline = system_time() + 10000;
	EXPECT_EQ(snooze_until(deadline, B_SYSTEM_TIMEBASE), B_OK);
	EXPECT_GE(system_time(), deadline);
	EXPECT_EQ(snooze_until(0, B_SYSTEM_TIMEBASE), B_OK);
	EXPECT_EQ(snooze_until(system_time() + 10000, 7), B_BAD_VALUE);
}

TEST(Time, RelativeTimeoutsBecomeDeadlinesOnceAndSaturate)
{
	bigtime_t before = system_time();
	bigtime_t deadline = DeadlineFor(B_RELATIVE_TIMEOUT, 5000);
	EXPECT_GE(deadline, before + 5000);
	EXPECT_LE(deadline, system_time() + 5000);
	EXPECT_EQ(DeadlineFor(B_RELATIVE_TIMEOUT, B_INFINITE_TIMEOUT), kNoDeadline);
	EXPECT_EQ(DeadlineFor(B_RELATIVE_TIMEOUT, INT64_MAX - 1), kNoDeadline);
	// A time-out already passed is due now; the two calls in order, not as arguments of one.
	bigtime_t passed = DeadlineFor(B_RELATIVE_TIMEOUT, -100);
	EXPECT_LE(passed, system_time());
	EXPECT_EQ(DeadlineFor(B_ABSOLUTE_TIMEOUT, 1234), 1234);
	EXPECT_EQ(DeadlineFor(0, 1234), kNoDeadline);
	EXPECT_EQ(DeadlineFor(B_CAN_INTERRUPT, 1234), kNoDeadline);
}

TEST(Time, OnlyNoTimeLeftMeansNonBlocking)
{
	EXPECT_TRUE(IsNonBlocking(B_RELATIVE_TIMEOUT, 0));
	EXPECT_TRUE(IsNonBlocking(B_RELATIVE_TIMEOUT, -1));
	EXPECT_FALSE(IsNonBlocking(B_RELATIVE_TIMEOUT, 1));
	EXPECT_TRUE(IsNonBlocking(B_ABSOLUTE_TIMEOUT, -1));
	EXPECT_FALSE(IsNonBlocking(B_ABSOLUTE_TIMEOUT, 0));
	EXPECT_FALSE(IsNonBlocking(0, 0));
}
