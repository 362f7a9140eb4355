// The status poll of doc/remote-protocol.md, by its cases' names, when bytes are already on the
// line before the poll goes out: a tail, the rest of a cut reply, replies that came late. And
// what a rejected reply takes with it: its own rest, never a later reply.

#include "remoteBus.h"

#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include <SerialPort.h>

#include "remote/RemoteBusOnPty.h"

using namespace RemoteBusTest;

namespace {

class RemoteBusLateReplies : public RemoteBusOnPty
{
};

} // namespace

TEST_F(RemoteBusLateReplies, TailIsReadAsTheNextReply)
{
	Learn(19, "Detected Classic KM-3\n");
	// 24 bytes: a good 19-byte reply and a 5-byte tail that is itself a good reply.
	EXPECT_EQ(Poll(Concatenated(Reply(19), Reply(5))), 0);
	EXPECT_EQ(packetSize, 19);
	std::string output;
	EXPECT_EQ(Poll(Bytes(), &output), 0);
	EXPECT_EQ(output, "Unknown packet size 5\n");
	EXPECT_EQ(packetSize, 5);
}

TEST_F(RemoteBusLateReplies, CutReplyPutsOnlyTheNextPollOutOfStep)
{
	Learn(19, "Detected Classic KM-3\n");
	// A reply cut after 10 bytes by a pause longer than the read time-out: rejected.
	const Bytes cut = Reply(19);
	std::string output;
	EXPECT_EQ(Poll(Bytes(cut.begin(), cut.begin() + 10), &output), 0);
	EXPECT_EQ(output, "Invalid checksum\n");
	// Its rest comes before the next poll, and that poll reads it and the head of its reply
	// as one.
	EXPECT_EQ(Poll(Reply(19, {{kEnterByte, kEnterBit}}), &output, Bytes(cut.begin() + 10, cut.end())),
	          0);
	EXPECT_EQ(output, "Unknown header type 00\n");
	// Only the rest went with it: that poll's reply is read whole by the next poll, its key seen.
	EXPECT_EQ(Poll(Bytes()), '\n');
	EXPECT_EQ(port.WaitForInput(), 0);
	EXPECT_EQ(packetSize, 19);
}

TEST_F(RemoteBusLateReplies, RejectedWaitingReplyLeavesTheLaterRepliesWhole)
{
	Learn(19, "Detected Classic KM-3\n");
	// Three replies came late and wait: a wrong header, a wrong sum, then ENTER down. Each is
	// read as its own: both faults told, and the key seen.
	Bytes badHeader = Reply(19);
	badHeader[0] = 0x13;
	Bytes badChecksum = Reply(19);
	badChecksum[18] ^= 0x01;
	const Bytes waiting =
	    Concatenated(Concatenated(badHeader, badChecksum), Reply(19, {{kEnterByte, kEnterBit}}));
	std::string output;
	EXPECT_EQ(Poll(Bytes(), &output, waiting), 0);
	EXPECT_EQ(output, "Unknown header type 13\n");
	EXPECT_EQ(Poll(Bytes(), &output), 0);
	EXPECT_EQ(output, "Invalid checksum\n");
	EXPECT_EQ(Poll(Bytes()), '\n');
}

TEST_F(RemoteBusLateReplies, ReplyThatCameLateIsMeasuredOnItsOwn)
{
	// The reply to an earlier poll came after the read time-out and waits; this poll's own reply
	// follows at once. Read as one, they would be 54 bytes, the length of no unit.
	std::string output;
	EXPECT_EQ(Poll(Reply(27, {{kSecondModelEnterByte, 0x01}}), &output, Reply(27)), 0);
	EXPECT_EQ(output, "Detected KM-3II\n");
	EXPECT_EQ(packetSize, 27);
	// The poll's own reply is read by the next one, and its key seen.
	EXPECT_EQ(Poll(Bytes()), '\n');
}

TEST_F(RemoteBusLateReplies, LateReplyIsCaughtUpWithAndTheFreshReplyRead)
{
	Learn(19, "Detected Classic KM-3\n");
	// A reply without keys came late and waits; the unit answers this poll on time, ENTER down.
	// The waiting one is decoded as the older, then the fresh one read: its key seen now, and
	// nothing left for the next poll.
	EXPECT_EQ(Poll(Reply(19, {{kEnterByte, kEnterBit}}), Reply(19)), '\n');
	EXPECT_EQ(port.WaitForInput(), 0);
	EXPECT_EQ(Poll(Reply(19, {{kEnterByte, kEnterBit}})), 0);
}

TEST_F(RemoteBusLateReplies, EndlessStreamHoldsUpARejectingPollByTwoBuffersAtMost)
{
	Learn(19, "Detected Classic KM-3\n");
	// 300 bytes without a header in answer to the poll: it reads 19, drops 100 and leaves the
	// rest.
	std::string output;
	EXPECT_EQ(Poll(Bytes(300, 0x55), &output), 0);
	EXPECT_EQ(output, "Unknown header type 55\n");
	EXPECT_EQ(port.WaitForInput(), 300 - 19 - 2 * kPacketBufferSize);
}

TEST_F(RemoteBusLateReplies, ReplyCutByAnAdaptersTimerIsReadWhole)
{
	Learn(19, "Detected Classic KM-3\n");
	// Behind an adapter's 16 ms latency timer, a reply that spans a tick comes in two pieces a
	// period apart: more than the read time-out.
	const Bytes reply = Reply(19, {{kEnterByte, kEnterBit}});
	std::chrono::steady_clock::duration gap{};
	std::thread unit([&] {
		EXPECT_EQ(fPty.Receive(1), Bytes(1, kHeader)) << "the poll byte";
		fPty.Send(Bytes(reply.begin(), reply.begin() + 10));
		const auto firstPiece = std::chrono::steady_clock::now();
		std::this_thread::sleep_for(std::chrono::milliseconds(16));
		gap = std::chrono::steady_clock::now() - firstPiece;
		fPty.Send(Bytes(reply.begin() + 10, reply.end()));
	});
	CaptureStdout();
	const char key = RB_GetKeypress();
	unit.join();
	const std::string output = GetCapturedStdout();
	// The rest is waited for 40 ms after the read time-out: a cut shorter than 30 ms is read
	// whole. A test thread that lost the processor for longer may have cut it by more; then the
	// reply is either read whole or rejected, never taken in part.
	if (gap < std::chrono::milliseconds(30)) {
		EXPECT_EQ(output, "");
	}
	if (output == "") {
		EXPECT_EQ(key, '\n');
	} else {
		EXPECT_EQ(output, "Invalid checksum\n");
		EXPECT_EQ(key, 0);
	}
	EXPECT_EQ(packetSize, 19);
}
