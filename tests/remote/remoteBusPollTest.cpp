// The status poll of doc/remote-protocol.md, by its cases' names, against a unit that answers
// each poll on time: the reply goes out once the poll byte has been read, as a real unit's does.

#include "remoteBus.h"

#include <string>

#include <gtest/gtest.h>

#include "remote/RemoteBusOnPty.h"

using namespace RemoteBusTest;

namespace {

class RemoteBusLengthLearning : public RemoteBusOnPty
{
};
class RemoteBusReplyChecks : public RemoteBusOnPty
{
};
class RemoteBusKeyDecoding : public RemoteBusOnPty
{
};
class RemoteBusRejectedReplies : public RemoteBusOnPty
{
};

} // namespace

TEST_F(RemoteBusLengthLearning, InitialisationResetsTheModuleState)
{
	EXPECT_EQ(pollByte, 0x90);
	EXPECT_EQ(packetSize, 50);
	EXPECT_EQ(Bytes(packet, packet + kPacketBufferSize), Bytes(kPacketBufferSize, 0));
	EXPECT_EQ(Bytes(lastPacket, lastPacket + kPacketBufferSize), Bytes(kPacketBufferSize, 0));
}

TEST_F(RemoteBusLengthLearning, FirstGoodReplyTeachesTheLength)
{
	std::string output;
	Bytes withKeys = Reply(19, {{kEnterByte, kEnterBit}, {kBackslashByte, kBackslashBit}});
	EXPECT_EQ(Poll(withKeys, &output), 0);
	EXPECT_EQ(output, "Detected Classic KM-3\n");
	EXPECT_EQ(packetSize, 19);
	// The keys were down before the program knew the unit: still no key while they stay down.
	EXPECT_EQ(Poll(withKeys), 0);
}

TEST_F(RemoteBusLengthLearning, SecondModelIsAnnouncedToo)
{
	Learn(27, "Detected KM-3II\n");
	EXPECT_EQ(Poll(Reply(27, {{kSecondModelEnterByte, 0x01}})), '\n');
}

TEST_F(RemoteBusLengthLearning, OtherLengthIsReportedAndAdopted)
{
	Learn(23, "Unknown packet size 23\n");
	EXPECT_EQ(Poll(Reply(23)), 0);
}

TEST_F(RemoteBusLengthLearning, FiftyByteUnitIsNeverAnnounced)
{
	EXPECT_EQ(Poll(Reply(50)), 0);
	EXPECT_EQ(packetSize, 50);
	EXPECT_EQ(Poll(Reply(50)), 0);
}

TEST_F(RemoteBusLengthLearning, InitDisplayMeasuresAgain)
{
	Learn(19, "Detected Classic KM-3\n");
	InitDisplay();
	EXPECT_EQ(packetSize, 50);
	EXPECT_EQ(pollByte, 0x90);
	Learn(19, "Detected Classic KM-3\n");
}

TEST_F(RemoteBusLengthLearning, ShorterGoodReplyIsAdopted)
{
	Learn(27, "Detected KM-3II\n");
	Learn(19, "Detected Classic KM-3\n");
	// The length only goes down: a longer reply is cut at 19 (its first 19 bytes fail here).
	std::string output;
	Poll(Reply(27), &output);
	EXPECT_EQ(packetSize, 19);
}

TEST_F(RemoteBusLengthLearning, SilentUnitChangesNothing)
{
	Learn(19, "Detected Classic KM-3\n");
	EXPECT_EQ(Poll(Bytes()), 0);
	EXPECT_EQ(packetSize, 19);
}

TEST_F(RemoteBusLengthLearning, OverlongReplyStaysInTheBuffer)
{
	// 120 bytes: headed and summing to 0, but read 50 at a time; rejected, and the rest with it.
	std::string output;
	EXPECT_EQ(Poll(Reply(120), &output), 0);
	EXPECT_EQ(output, "Invalid checksum\n");
	EXPECT_EQ(packetSize, 50);
	EXPECT_EQ(Poll(Bytes()), 0);
	EXPECT_EQ(packetSize, 50);
}

TEST_F(RemoteBusReplyChecks, ChecksumOf256Passes)
{
	Learn(19, "Detected Classic KM-3\n");
	Bytes reply(19, 0);
	reply[0] = kHeader;
	reply[kEnterByte] = kEnterBit;
	reply[18] = 0x68; // 0x90 + 0x08 + 0x68 = 256
	EXPECT_EQ(Poll(reply), '\n');
}

TEST_F(RemoteBusReplyChecks, ChecksumOf257Fails)
{
	Learn(19, "Detected Classic KM-3\n");
	Bytes reply(19, 0);
	reply[0] = kHeader;
	reply[kEnterByte] = kEnterBit;
	reply[18] = 0x69; // 257
	std::string output;
	EXPECT_EQ(Poll(reply, &output), 0);
	EXPECT_EQ(output, "Invalid checksum\n");
}

TEST_F(RemoteBusReplyChecks, HeaderTestedBeforeChecksum)
{
	Learn(19, "Detected Classic KM-3\n");
	Bytes reply = Reply(19);
	reply[0] = 0x91; // wrong header, and the sum is off by one as well
	std::string output;
	EXPECT_EQ(Poll(reply, &output), 0);
	EXPECT_EQ(output, "Unknown header type 91\n");
}

TEST_F(RemoteBusReplyChecks, FirstReplyWithAWrongHeaderTeachesNothing)
{
	Bytes reply = Reply(19);
	reply[0] = 0x00;
	std::string output;
	Poll(reply, &output);
	EXPECT_EQ(output, "Unknown header type 00\n");
	EXPECT_EQ(packetSize, 50);
}

TEST_F(RemoteBusKeyDecoding, EnterRisingYieldsEnter)
{
	Learn(19, "Detected Classic KM-3\n");
	EXPECT_EQ(Poll(Reply(19, {{kEnterByte, kEnterBit}})), '\n');
}

TEST_F(RemoteBusKeyDecoding, EnterHeldYieldsNothingMore)
{
	Learn(19, "Detected Classic KM-3\n");
	EXPECT_EQ(Poll(Reply(19, {{kEnterByte, kEnterBit}})), '\n');
	EXPECT_EQ(Poll(Reply(19, {{kEnterByte, kEnterBit}})), 0);
}

TEST_F(RemoteBusKeyDecoding, EnterFallingYieldsNothing)
{
	Learn(19, "Detected Classic KM-3\n");
	EXPECT_EQ(Poll(Reply(19, {{kEnterByte, kEnterBit}})), '\n');
	EXPECT_EQ(Poll(Reply(19)), 0);
	EXPECT_EQ(Poll(Reply(19, {{kEnterByte, kEnterBit}})), '\n');
}

TEST_F(RemoteBusKeyDecoding, BackslashWinsOverEnter)
{
	Learn(19, "Detected Classic KM-3\n");
	EXPECT_EQ(Poll(Reply(19, {{kEnterByte, kEnterBit}, {kBackslashByte, kBackslashBit}})), '\\');
}

TEST_F(RemoteBusKeyDecoding, OtherBitsOfTheKeyBytesYieldNothing)
{
	Learn(19, "Detected Classic KM-3\n");
	EXPECT_EQ(Poll(Reply(19, {{kEnterByte, 0xf7}, {kBackslashByte, 0xfb}, {5, 0xff}})), 0);
}

TEST_F(RemoteBusKeyDecoding, KM3IIRowOnClassicUnitStaysQuiet)
{
	Learn(19, "Detected Classic KM-3\n");
	// A 27-byte reply with the KM-3II ENTER bit: the unit's 19 bytes are read, byte 21 is not.
	Bytes longer = Reply(27, {{kSecondModelEnterByte, 0x01}});
	Bytes first(longer.begin(), longer.begin() + 19);
	Bytes sealed = Reply(19);
	first[18] = sealed[18];
	EXPECT_EQ(Poll(Concatenated(first, Bytes(longer.begin() + 19, longer.end()))), 0);
	EXPECT_EQ(packet[kSecondModelEnterByte], 0);
}

TEST_F(RemoteBusRejectedReplies, RejectedReplyYieldsNoKey)
{
	Learn(19, "Detected Classic KM-3\n");
	std::string output;
	Bytes badHeader = Reply(19, {{kEnterByte, kEnterBit}});
	badHeader[0] = 0x13;
	EXPECT_EQ(Poll(badHeader, &output), 0);
	EXPECT_EQ(output, "Unknown header type 13\n");

	Bytes badChecksum = Reply(19, {{kEnterByte, kEnterBit}});
	badChecksum[18] ^= 0x01;
	EXPECT_EQ(Poll(badChecksum, &output), 0);
	EXPECT_EQ(output, "Invalid checksum\n");

	// The key state is still that of the last good reply: a real press is still an edge.
	EXPECT_EQ(Poll(Reply(19, {{kEnterByte, kEnterBit}})), '\n');
}

TEST_F(RemoteBusRejectedReplies, RejectedReplyYieldsNoKeyOnALaterSilentPoll)
{
	Learn(19, "Detected Classic KM-3\n");
	Bytes garbage(19, 0xff);
	std::string output;
	EXPECT_EQ(Poll(garbage, &output), 0);
	EXPECT_EQ(output, "Unknown header type ff\n");
	EXPECT_EQ(Poll(Bytes()), 0);
	EXPECT_EQ(Bytes(packet, packet + kPacketBufferSize),
	          Bytes(lastPacket, lastPacket + kPacketBufferSize));
}

TEST_F(RemoteBusRejectedReplies, RejectedReplyLeavesAHeldKeyHeld)
{
	Learn(19, "Detected Classic KM-3\n");
	EXPECT_EQ(Poll(Reply(19, {{kEnterByte, kEnterBit}})), '\n');
	Bytes badChecksum = Reply(19);
	badChecksum[18] ^= 0x01;
	std::string output;
	EXPECT_EQ(Poll(badChecksum, &output), 0);
	// Had the rejected bytes (key up) become the key state, this would be a new press.
	EXPECT_EQ(Poll(Reply(19, {{kEnterByte, kEnterBit}})), 0);
}
