#include <string.h>

#include <atomic>
#include <memory>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include <OS.h>

#include "kernel/Port.h"
#include "platform/kernel/KernelTesting.h"

using namespace KernelTesting;

namespace {

const bigtime_t kObservation = 100000;

// Fills a port of capacity 1 so that writers block.
port_id FullPort()
{
	port_id port = create_port(1, "full");
	EXPECT_EQ(write_port(port, 1, NULL, 0), B_OK);
	return port;
}

} // namespace

TEST(Port, CreateAcceptsCapacitiesFrom1To4096)
{
	EXPECT_EQ(create_port(0, "zero"), B_BAD_VALUE);
	EXPECT_EQ(create_port(-1, "negative"), B_BAD_VALUE);
	EXPECT_EQ(create_port(4097, "too big"), B_BAD_VALUE);
	port_id smallest = create_port(1, "smallest");
	port_id largest = create_port(4096, NULL);
	EXPECT_GT(smallest, 0);
	EXPECT_GT(largest, smallest);
	delete_port(smallest);
	delete_port(largest);
}

TEST(Port, MessagesComeOutInOrderWithTheirCodesAndBodies)
{
	port_id port = create_port(8, "order");
	ASSERT_EQ(write_port(port, 0x61626364, "hello", 5), B_OK);
	ASSERT_EQ(write_port(port, -1, NULL, 0), B_OK);
	ASSERT_EQ(write_port(port, 3, "xyz", 3), B_OK);
	EXPECT_EQ(port_count(port), 3);

	int32 code = 0;
	char buffer[16] = {};
	EXPECT_EQ(read_port(port, &code, buffer, sizeof(buffer)), 5);
	EXPECT_EQ(code, 0x61626364);
	EXPECT_EQ(memcmp(buffer, "hello", 5), 0);
	EXPECT_EQ(read_port(port, &code, buffer, sizeof(buffer)), 0);
	EXPECT_EQ(code, -1);
	EXPECT_EQ(port_buffer_size(port), 3);
	EXPECT_EQ(read_port(port, &code, buffer, sizeof(buffer)), 3);
	EXPECT_EQ(code, 3);
	EXPECT_EQ(port_count(port), 0);
	delete_port(port);
}

TEST(Port, AShortBufferTruncatesAndTheRestIsDropped)
{
	port_id port = create_port(4, "truncating");
	write_port(port, 1, "0123456789", 10);
	write_port(port, 2, "next", 4);
	int32 code;
	char buffer[4] = {};
	EXPECT_EQ(read_port(port, &code, buffer, 3), 3);
	EXPECT_EQ(memcmp(buffer, "012", 3), 0);
	EXPECT_EQ(buffer[3], '\0');
	EXPECT_EQ(read_port(port, &code, NULL, 0), 0);
	EXPECT_EQ(code, 2);
	EXPECT_EQ(port_count(port), 0);
	delete_port(port);
}

TEST(Port, BodiesUpTo256KibAreAccepted)
{
	port_id port = create_port(2, "large");
	std::vector<char> body(BPrivate::kMaxPortMessageSize + 1, 'x');
	EXPECT_EQ(write_port(port, 1, body.data(), body.size()), B_BAD_VALUE);
	EXPECT_EQ(write_port(port, 1, NULL, 1), B_BAD_VALUE);
	ASSERT_EQ(write_port(port, 1, body.data(), BPrivate::kMaxPortMessageSize), B_OK);
	std::vector<char> received(BPrivate::kMaxPortMessageSize + 10);
	int32 code;
	EXPECT_EQ(read_port(port, &code, received.data(), received.size()),
	          (ssize_t)BPrivate::kMaxPortMessageSize);
	EXPECT_EQ(read_port_etc(port, &code, NULL, 1, B_RELATIVE_TIMEOUT, 0), B_BAD_VALUE);
	delete_port(port);
}

TEST(Port, ReadWithZeroOrNegativeTimeoutOnAnEmptyPortTimesOutAtOnce)
{
	port_id port = create_port(4, "empty");
	int32 code;
	char byte;
	EXPECT_EQ(read_port_etc(port, &code, &byte, 1, B_RELATIVE_TIMEOUT, 0), B_TIMED_OUT);
	EXPECT_EQ(read_port_etc(port, &code, &byte, 1, B_RELATIVE_TIMEOUT, -1), B_TIMED_OUT);
	EXPECT_EQ(read_port_etc(port, &code, &byte, 1, B_RELATIVE_TIMEOUT, INT64_MIN), B_TIMED_OUT);
	EXPECT_EQ(port_buffer_size_etc(port, B_RELATIVE_TIMEOUT, 0), B_TIMED_OUT);

	// ... but takes a waiting message.
	write_port(port, 'k', NULL, 0);
	EXPECT_EQ(read_port_etc(port, &code, &byte, 1, B_RELATIVE_TIMEOUT, 0), 0);
	EXPECT_EQ(code, 'k');
	delete_port(port);
}

TEST(Port, ReadTimesOutNotBeforeItsDeadline)
{
	port_id port = create_port(4, "empty");
	int32 code;
	bigtime_t start = system_time();
	EXPECT_EQ(read_port_etc(port, &code, NULL, 0, B_RELATIVE_TIMEOUT, 20000), B_TIMED_OUT);
	EXPECT_GE(system_time() - start, 20000);
	bigtime_t deadline = system_time() + 20000;
	EXPECT_EQ(read_port_etc(port, &code, NULL, 0, B_ABSOLUTE_TIMEOUT, deadline), B_TIMED_OUT);
	EXPECT_GE(system_time(), deadline);
	EXPECT_EQ(port_buffer_size_etc(port, B_RELATIVE_TIMEOUT, 20000), B_TIMED_OUT);
	delete_port(port);
}

TEST(Port, WriteToAFullPortWithNoTimeWouldBlockAndWithTimeTimesOut)
{
	port_id port = FullPort();
	EXPECT_EQ(write_port_etc(port, 2, NULL, 0, B_RELATIVE_TIMEOUT, 0), B_WOULD_BLOCK);
	EXPECT_EQ(write_port_etc(port, 2, NULL, 0, B_RELATIVE_TIMEOUT, -1), B_WOULD_BLOCK);
	bigtime_t start = system_time();
	EXPECT_EQ(write_port_etc(port, 2, NULL, 0, B_RELATIVE_TIMEOUT, 20000), B_TIMED_OUT);
	EXPECT_GE(system_time() - start, 20000);
	EXPECT_EQ(port_count(port), 1);
	delete_port(port);
}

TEST(Port, WriteWaitsWhileFullUntilAMessageIsRead)
{
	port_id port = FullPort();
	std::atomic<bool> written{false};
	TestThread writer([&] {
		status_t status = write_port(port, 2, NULL, 0);
		written = true;
		return status;
	});
	writer.Start();
	ASSERT_TRUE(Eventually([&] { return IsBlocked(writer.Id()); }));
	EXPECT_FALSE(written);
	int32 code;
	EXPECT_EQ(read_port(port, &code, NULL, 0), 0);
	EXPECT_EQ(code, 1);
	EXPECT_EQ(writer.Join(), B_OK);
	EXPECT_EQ(read_port(port, &code, NULL, 0), 0);
	EXPECT_EQ(code, 2);
	delete_port(port);
}

TEST(Port, ABlockedReaderGetsTheNextMessage)
{
	port_id port = create_port(4, "reader");
	int32 code = 0;
	char buffer[8] = {};
	TestThread reader([&] { return (int32)read_port(port, &code, buffer, sizeof(buffer)); });
	reader.Start();
	ASSERT_TRUE(Eventually([&] { return IsBlocked(reader.Id()); }));
	write_port(port, 77, "abc", 3);
	EXPECT_EQ(reader.Join(), 3);
	EXPECT_EQ(code, 77);
	delete_port(port);
}

TEST(Port, DeleteWakesBlockedReaderWithBadPortId)
{
	port_id port = create_port(4, "doomed");
	TestThread reader([&] {
		int32 code;
		return (int32)read_port(port, &code, NULL, 0);
	});
	TestThread timedReader([&] {
		int32 code;
		return (int32)read_port_etc(port, &code, NULL, 0, B_RELATIVE_TIMEOUT, 60000000);
	});
	TestThread sizer([&] { return (int32)port_buffer_size(port); });
	reader.Start();
	timedReader.Start();
	sizer.Start();
	ASSERT_TRUE(Eventually([&] {
		return IsBlocked(reader.Id()) && IsBlocked(timedReader.Id()) && IsBlocked(sizer.Id());
	}));
	ASSERT_EQ(delete_port(port), B_OK);
	EXPECT_EQ(reader.Join(), B_BAD_PORT_ID);
	EXPECT_EQ(timedReader.Join(), B_BAD_PORT_ID);
	EXPECT_EQ(sizer.Join(), B_BAD_PORT_ID);
}

TEST(Port, DeleteWakesBlockedWriterWithBadPortId)
{
	port_id port = FullPort();
	TestThread writer([&] { return write_port(port, 2, "x", 1); });
	writer.Start();
	ASSERT_TRUE(Eventually([&] { return IsBlocked(writer.Id()); }));
	ASSERT_EQ(delete_port(port), B_OK);
	EXPECT_EQ(writer.Join(), B_BAD_PORT_ID);
}

TEST(Port, ADeletedIdIsStaleForGoodAndNeverReused)
{
	port_id port = create_port(4, "stale");
	write_port(port, 1, NULL, 0);
	ASSERT_EQ(delete_port(port), B_OK);
	int32 code;
	EXPECT_EQ(write_port(port, 1, NULL, 0), B_BAD_PORT_ID);
	EXPECT_EQ(write_port_etc(port, 1, NULL, 0, B_RELATIVE_TIMEOUT, 0), B_BAD_PORT_ID);
	EXPECT_EQ(read_port(port, &code, NULL, 0), B_BAD_PORT_ID);
	EXPECT_EQ(read_port_etc(port, &code, NULL, 0, B_RELATIVE_TIMEOUT, 0), B_BAD_PORT_ID);
	EXPECT_EQ(port_buffer_size(port), B_BAD_PORT_ID);
	EXPECT_EQ(port_count(port), B_BAD_PORT_ID);
	EXPECT_EQ(delete_port(port), B_BAD_PORT_ID);
	for (int i = 0; i < 10; i++) {
		port_id next = create_port(1, "next");
		EXPECT_NE(next, port);
		delete_port(next);
	}
	EXPECT_EQ(read_port_etc(-1, &code, NULL, 0, B_RELATIVE_TIMEOUT, 0), B_BAD_PORT_ID);
}

TEST(Port, SuspendedReaderIsInterruptedAfterResumeAndLeavesTheMessage)
{
	port_id port = create_port(4, "suspended reader");
	std::atomic<bool> returned{false};
	TestThread reader([&] {
		int32 code;
		ssize_t result = read_port_etc(port, &code, NULL, 0, B_RELATIVE_TIMEOUT, 60000000);
		returned = true;
		return (int32)result;
	});
	reader.Start();
	ASSERT_TRUE(Eventually([&] { return IsBlocked(reader.Id()); }));
	ASSERT_EQ(suspend_thread(reader.Id()), B_OK);
	write_port(port, 5, NULL, 0);
	snooze(kObservation);
	EXPECT_FALSE(returned);
	EXPECT_EQ(port_count(port), 1);
	ASSERT_EQ(resume_thread(reader.Id()), B_OK);
	EXPECT_EQ(reader.Join(), B_INTERRUPTED);
	EXPECT_EQ(port_count(port), 1);
	delete_port(port);
}

TEST(Port, SuspendedWriterIsInterruptedAfterResumeAndWritesNothing)
{
	port_id port = FullPort();
	std::atomic<bool> returned{false};
	TestThread writer([&] {
		status_t status = write_port(port, 2, NULL, 0);
		returned = true;
		return status;
	});
	writer.Start();
	ASSERT_TRUE(Eventually([&] { return IsBlocked(writer.Id()); }));
	ASSERT_EQ(suspend_thread(writer.Id()), B_OK);
	int32 code;
	ASSERT_EQ(read_port(port, &code, NULL, 0), 0);
	snooze(kObservation);
	EXPECT_FALSE(returned);
	EXPECT_EQ(port_count(port), 0);
	EXPECT_EQ(writer.Join(), B_INTERRUPTED); // resumed by the wait
	EXPECT_EQ(port_count(port), 0);
	delete_port(port);
}

TEST(Port, SeveralWritersKeepTheirOwnOrder)
{
	const int kWriters = 4;
	const int kMessages = 500;
	port_id port = create_port(8, "fifo");
	std::vector<std::unique_ptr<TestThread>> writers;
	for (int writer = 0; writer < kWriters; writer++) {
		writers.push_back(std::make_unique<TestThread>([port, writer] {
			for (int sequence = 0; sequence < kMessages; sequence++) {
				int32 value = sequence;
				status_t status = write_port(port, writer, &value, sizeof(value));
				if (status != B_OK)
					return status;
			}
			return B_OK;
		}));
		writers.back()->Start();
	}
	std::vector<int32> next(kWriters, 0);
	for (int i = 0; i < kWriters * kMessages; i++) {
		int32 code;
		int32 value;
		ASSERT_EQ(read_port_etc(port, &code, &value, sizeof(value), B_RELATIVE_TIMEOUT, kPatience),
		          (ssize_t)sizeof(value));
		ASSERT_GE(code, 0);
		ASSERT_LT(code, kWriters);
		EXPECT_EQ(value, next[code]);
		next[code] = value + 1;
	}
	for (auto& writer : writers)
		EXPECT_EQ(writer->Join(), B_OK);
	delete_port(port);
}

TEST(Port, ManyReadersAndWritersDeliverEveryMessageOnce)
{
	const int kThreads = 3;
	const int kMessages = 400;
	port_id port = create_port(2, "crowd");
	std::vector<std::atomic<int>> seen(kThreads * kMessages);
	std::vector<std::unique_ptr<TestThread>> threads;
	for (int i = 0; i < kThreads; i++) {
		threads.push_back(std::make_unique<TestThread>([port, i] {
			for (int message = 0; message < kMessages; message++) {
				if (write_port(port, i * kMessages + message, NULL, 0) != B_OK)
					return B_ERROR;
			}
			return B_OK;
		}));
		threads.push_back(std::make_unique<TestThread>([port, &seen] {
			for (int message = 0; message < kMessages; message++) {
				int32 code;
				if (read_port_etc(port, &code, NULL, 0, B_RELATIVE_TIMEOUT, kPatience) != 0)
					return B_ERROR;
				seen[code]++;
			}
			return B_OK;
		}));
	}
	for (auto& thread : threads)
		thread->Start();
	for (auto& thread : threads)
		EXPECT_EQ(thread->Join(), B_OK);
	for (auto& count : seen)
		EXPECT_EQ(count, 1);
	EXPECT_EQ(port_count(port), 0);
	delete_port(port);
}

TEST(Port, BufferSizeShowsTheNextMessageWithoutTakingItAndPassesTheWakeOn)
{
	port_id port = create_port(4, "sizes");
	TestThread sizer([&] { return (int32)port_buffer_size(port); });
	TestThread reader([&] {
		char buffer[8];
		int32 code;
		return (int32)read_port(port, &code, buffer, sizeof(buffer));
	});
	sizer.Start();
	ASSERT_TRUE(Eventually([&] { return IsBlocked(sizer.Id()); }));
	reader.Start();
	ASSERT_TRUE(Eventually([&] { return IsBlocked(reader.Id()); }));
	write_port(port, 1, "four", 4);
	EXPECT_EQ(sizer.Join(), 4);
	EXPECT_EQ(reader.Join(), 4);
	delete_port(port);
}
