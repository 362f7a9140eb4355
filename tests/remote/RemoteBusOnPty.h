#pragma once

// The remote-bus module opened on a real pseudo-terminal: the test plays the unit on the master
// side and the module polls it through BSerialPort. Shared by the remote-bus test files.

#include "remoteBus.h"

#include <pthread.h>
#include <sched.h>
#include <stdlib.h>

#include <initializer_list>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/PtyPair.h"
#include "support/TempDirectory.h"

namespace RemoteBusTest {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

typedef std::vector<uint8> Bytes;

const uint8 kHeader = 0x90;
const uint8 kEnterByte = 11;
const uint8 kEnterBit = 0x08;
const uint8 kSecondModelEnterByte = 21;
const uint8 kBackslashByte = 17;
const uint8 kBackslashBit = 0x04;

// A good status reply of `length` bytes: the header, the given bits, and a last byte that brings
// the sum to 0 modulo 128.
inline Bytes Reply(size_t length, std::initializer_list<std::pair<size_t, uint8>> bits = {})
{
	Bytes reply(length, 0);
	reply[0] = kHeader;
	for (const auto& bit : bits)
		reply[bit.first] |= bit.second;
	unsigned sum = 0;
	for (size_t index = 0; index + 1 < length; index++)
		sum += reply[index];
	reply[length - 1] = (uint8)((128 - (sum & 0x7f)) & 0x7f);
	return reply;
}

inline Bytes Concatenated(Bytes first, const Bytes& second)
{
	first.insert(first.end(), second.begin(), second.end());
	return first;
}

// The module opened on dev/ports/serial1 of a fresh platform root, a pseudo-terminal behind it.
class RemoteBusOnPty : public testing::Test
{
protected:
	void SetUp() override
	{
		setenv("BEOS_ROOT", fRoot.Path().c_str(), 1);
		fPty.LinkInto(fRoot.Path(), "serial1");
		CaptureStdout();
		RB_Init();
		ASSERT_EQ(GetCapturedStdout(), "RB: Using serial port serial1\n");
	}

	void TearDown() override
	{
		RB_Quit();
		unsetenv("BEOS_ROOT");
	}

	// One poll answered as a unit on time answers it: `reply` goes out once the poll byte has
	// been read (none: the unit is silent). `waiting` is on the line before the poll, as a reply
	// that came late or a rest left over. The key, and what the module printed in `output`.
	char Poll(const Bytes& reply, std::string* output, const Bytes& waiting = Bytes())
	{
		if (!waiting.empty()) {
			fPty.Send(waiting);
			EXPECT_TRUE(fPty.WaitUntilSlaveReadable());
		}
		Bytes polled;
		std::thread unit([&] {
			polled = fPty.Receive(1);
			if (!reply.empty() && !polled.empty())
				fPty.Send(reply);
		});
		// A unit has a processor of its own: where the scheduler allows it, the test's unit runs
		// ahead of ordinary work, so that a busy machine does not make it miss the read time-out.
		struct sched_param priority = {};
		priority.sched_priority = 10;
		pthread_setschedparam(unit.native_handle(), SCHED_FIFO, &priority);
		CaptureStdout();
		const char key = RB_GetKeypress();
		*output = GetCapturedStdout();
		unit.join();
		EXPECT_EQ(polled, Bytes(1, kHeader)) << "the poll byte";
		return key;
	}

	// A poll after which the module printed nothing.
	char Poll(const Bytes& reply, const Bytes& waiting = Bytes())
	{
		std::string output;
		const char key = Poll(reply, &output, waiting);
		EXPECT_EQ(output, "");
		return key;
	}

	// The first good reply of a unit with `length`-byte replies, announced as `line`.
	void Learn(size_t length, const char* line)
	{
		std::string output;
		EXPECT_EQ(Poll(Reply(length), &output), 0);
		EXPECT_EQ(output, line);
		EXPECT_EQ(packetSize, (int32)length);
	}

	VelmoTest::TempDirectory fRoot{"velmo-rembus"};
	VelmoTest::PtyPair fPty;
};

} // namespace RemoteBusTest
