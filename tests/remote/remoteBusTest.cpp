// The cases of doc/remote-protocol.md, by name, against a real pseudo-terminal: the test plays
// the unit on the master side and the module polls it through BSerialPort.

#include "remoteBus.h"

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <SerialPort.h>

#include "support/PtyPair.h"
#include "support/TempDirectory.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;
using VelmoTest::PtyPair;
using VelmoTest::TempDirectory;

namespace {

typedef std::vector<uint8> Bytes;

const uint8 kHeader = 0x90;
const uint8 kEnterByte = 11;
const uint8 kEnterBit = 0x08;
const uint8 kSecondModelEnterByte = 21;
const uint8 kBackslashByte = 17;
const uint8 kBackslashBit = 0x04;

// A good status reply of `length` bytes: the header, the given bits, and a last byte that brings
// the sum to 0 modulo 128.
Bytes Reply(size_t length, std::initializer_list<std::pair<size_t, uint8>> bits = {})
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

Bytes Concatenated(Bytes first, const Bytes& second)
{
	first.insert(first.end(), second.begin(), second.end());
	return first;
}

Bytes LcdCommand(const std::string& text)
{
	Bytes bytes;
	bytes.push_back(0xF2);
	for (char character : text)
		bytes.push_back((uint8)character);
	return bytes;
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

	// One poll with `reply` already waiting on the line (none: the unit is silent). The key, and
	// what the module printed in `output`.
	char Poll(const Bytes& reply, std::string* output)
	{
		if (!reply.empty()) {
			fPty.Send(reply);
			EXPECT_TRUE(fPty.WaitUntilSlaveReadable());
		}
		CaptureStdout();
		char key = RB_GetKeypress();
		*output = GetCapturedStdout();
		EXPECT_EQ(fPty.Receive(1), Bytes(1, kHeader)) << "the poll byte";
		return key;
	}

	char Poll(const Bytes& reply)
	{
		std::string output;
		char key = Poll(reply, &output);
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

	TempDirectory fRoot{"velmo-rembus"};
	PtyPair fPty;
};

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
class RemoteBusLcdCommand : public RemoteBusOnPty
{
};
class RemoteBusLedCommand : public RemoteBusOnPty
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

TEST_F(RemoteBusLengthLearning, TailIsReadAsTheNextReply)
{
	Learn(19, "Detected Classic KM-3\n");
	// 24 bytes: a good 19-byte reply and a 5-byte tail that is itself a good reply.
	Bytes tail = Reply(5);
	EXPECT_EQ(Poll(Concatenated(Reply(19), tail)), 0);
	EXPECT_EQ(packetSize, 19);
	std::string output;
	EXPECT_EQ(Poll(Bytes(), &output), 0);
	EXPECT_EQ(output, "Unknown packet size 5\n");
	EXPECT_EQ(packetSize, 5);
}

TEST_F(RemoteBusLengthLearning, OverlongReplyStaysInTheBuffer)
{
	// 120 bytes: headed and summing to 0, but read 50 at a time; rejected, and the rest with it.
	Bytes longReply = Reply(120);
	std::string output;
	EXPECT_EQ(Poll(longReply, &output), 0);
	EXPECT_EQ(output, "Invalid checksum\n");
	EXPECT_EQ(packetSize, 50);
	EXPECT_EQ(Poll(Bytes()), 0);
	EXPECT_EQ(packetSize, 50);
}

TEST_F(RemoteBusLengthLearning, EndlessStreamHoldsUpARejectingPollByTwoBuffersAtMost)
{
	Learn(19, "Detected Classic KM-3\n");
	// 300 bytes of garbage waiting: the poll reads 19, drops 100 and leaves the rest.
	std::string output;
	EXPECT_EQ(Poll(Bytes(300, 0x55), &output), 0);
	EXPECT_EQ(output, "Unknown header type 55\n");
	EXPECT_EQ(port.WaitForInput(), 300 - 19 - 2 * kPacketBufferSize);
}

TEST_F(RemoteBusLengthLearning, CutReplyPutsOnlyTheNextPollOutOfStep)
{
	Learn(19, "Detected Classic KM-3\n");
	// A reply cut after 10 bytes by a pause longer than the read time-out: rejected.
	const Bytes cut = Reply(19);
	std::string output;
	EXPECT_EQ(Poll(Bytes(cut.begin(), cut.begin() + 10), &output), 0);
	EXPECT_EQ(output, "Invalid checksum\n");
	// Its rest comes ahead of the next reply, and that poll reads the two as one.
	EXPECT_EQ(Poll(Concatenated(Bytes(cut.begin() + 10, cut.end()), Reply(19)), &output), 0);
	EXPECT_EQ(output, "Unknown header type 00\n");
	// The rest of that reply went with it: the next reply is read whole, and its key seen.
	EXPECT_EQ(Poll(Reply(19, {{kEnterByte, kEnterBit}})), '\n');
	EXPECT_EQ(packetSize, 19);
}

TEST_F(RemoteBusLengthLearning, ReplyThatCameLateIsMeasuredOnItsOwn)
{
	// The reply to an earlier poll came after the read time-out and waits; this poll's own reply
	// follows at once. Read as one, they would be 54 bytes, the length of no unit.
	fPty.Send(Reply(27));
	ASSERT_TRUE(fPty.WaitUntilSlaveReadable());
	std::thread unit([&] {
		EXPECT_EQ(fPty.Receive(1), Bytes(1, kHeader)) << "the poll byte";
		fPty.Send(Reply(27, {{kSecondModelEnterByte, 0x01}}));
	});
	CaptureStdout();
	EXPECT_EQ(RB_GetKeypress(), 0);
	unit.join();
	EXPECT_EQ(GetCapturedStdout(), "Detected KM-3II\n");
	EXPECT_EQ(packetSize, 27);
	// The poll's own reply is read by the next one, and its key seen.
	EXPECT_EQ(Poll(Bytes()), '\n');
}

TEST_F(RemoteBusLengthLearning, ReplyCutByAnAdaptersTimerIsReadWhole)
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
	// The rest is waited for 40 ms after the read time-out. A test thread that lost the processor
	// for longer than that has cut the reply by more, and then a rejection is the right answer.
	if (gap < std::chrono::milliseconds(30)) {
		EXPECT_EQ(key, '\n');
		EXPECT_EQ(output, "");
	} else if (output != "") {
		EXPECT_EQ(output, "Invalid checksum\n");
	}
	EXPECT_EQ(packetSize, 19);
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

TEST_F(RemoteBusLcdCommand, PromptsGoSideBySide)
{
	CaptureStdout();
	RB_ShowMessage("Remove floppy   ", "Insert CD, ENTER");
	EXPECT_EQ(GetCapturedStdout(), "");
	EXPECT_EQ(fPty.Receive(33), LcdCommand("Remove floppy   Insert CD, ENTER"));
	EXPECT_STREQ(lcdBuffer, "Remove floppy   Insert CD, ENTER");
}

TEST_F(RemoteBusLcdCommand, LinesAreCutAndPadded)
{
	RB_ShowMessage("A line that is far too long", "");
	EXPECT_EQ(fPty.Receive(33), LcdCommand("A line that is f                "));
	RB_ShowMessage("", "short");
	EXPECT_EQ(fPty.Receive(33), LcdCommand("                short           "));
}

TEST_F(RemoteBusLcdCommand, CharactersAreSubstituted)
{
	RB_ShowMessage("back\\slash", "~x`");
	EXPECT_EQ(fPty.Receive(33), LcdCommand("back slash      ]x[             "));
	// The buffer keeps the text as formatted; only the bytes sent are substituted.
	EXPECT_STREQ(lcdBuffer, "back\\slash      ~x`             ");
}

TEST_F(RemoteBusLcdCommand, RawLcdTextHasNoFixedWidth)
{
	SendLCD(0xF2, "a\\b~c`d, and a text well beyond thirty-two characters");
	std::string text = "a b]c[d, and a text well beyond thirty-two characters";
	EXPECT_EQ(fPty.Receive(1 + text.size()), LcdCommand(text));
}

TEST_F(RemoteBusLcdCommand, EmptyLcdTextSendsTheCommandAlone)
{
	SendLCD(0xF3, "");
	EXPECT_EQ(fPty.Drain(), Bytes(1, 0xF3));
}

TEST_F(RemoteBusLedCommand, LedDataIsSentUnchanged)
{
	const uint8 data[] = {0x5c, 0x60, 0x7e, 0x00, 0xff};
	SendLED(0xA0, data, sizeof(data));
	EXPECT_EQ(fPty.Drain(), (Bytes{0xA0, 0x5c, 0x60, 0x7e, 0x00, 0xff}));
}

TEST_F(RemoteBusLedCommand, LedCommandWithoutDataIsTheCommandAlone)
{
	const uint8 data[] = {1, 2, 3};
	SendLED(0xA1, data, 0);
	SendLED(0xA2, data, -3);
	EXPECT_EQ(fPty.Drain(), (Bytes{0xA1, 0xA2}));
}

// Finding, opening and losing the port.
class RemoteBusLink : public testing::Test
{
protected:
	void SetUp() override
	{
		setenv("BEOS_ROOT", fRoot.Path().c_str(), 1);
		fRoot.MakeDirectories("dev/ports");
	}
	void TearDown() override
	{
		RB_Quit();
		unsetenv("BEOS_ROOT");
	}

	TempDirectory fRoot{"velmo-rembus-link"};
};

TEST_F(RemoteBusLink, NoPortReportsEveryByte)
{
	// The state a fresh process starts with.
	RB_Quit();
	pollByte = 0;
	packetSize = 0;
	CaptureStdout();
	RB_Init();
	EXPECT_EQ(GetCapturedStdout(), "");
	EXPECT_EQ(pollByte, 0);
	EXPECT_EQ(packetSize, 0);

	CaptureStdout();
	EXPECT_EQ(RB_GetKeypress(), 0);
	EXPECT_EQ(GetCapturedStdout(), "ERROR sending byte 00\n");

	CaptureStdout();
	RB_ShowMessage("Remove floppy   ", "Insert CD, ENTER");
	std::string expected = "ERROR sending byte f2\n";
	for (char character : std::string("Remove floppy   Insert CD, ENTER")) {
		char line[32];
		snprintf(line, sizeof(line), "ERROR sending byte %02x\n", (unsigned)character);
		expected += line;
	}
	EXPECT_EQ(GetCapturedStdout(), expected);
}

TEST_F(RemoteBusLink, SecondDeviceUsedWhenTheFirstDangles)
{
	symlink("/nonexistent/tty", fRoot.Join("dev/ports/a-gone").c_str());
	PtyPair pty;
	pty.LinkInto(fRoot.Path(), "b-serial");
	CaptureStdout();
	RB_Init();
	EXPECT_EQ(GetCapturedStdout(), "RB: Using serial port b-serial\n");
	RB_ShowMessage("x", "y");
	EXPECT_EQ(pty.Receive(33).size(), 33u);
}

TEST_F(RemoteBusLink, SecondDeviceUsedWhenTheFirstIsBusy)
{
	PtyPair busy;
	busy.LinkInto(fRoot.Path(), "a-busy");
	PtyPair free;
	free.LinkInto(fRoot.Path(), "b-free");
	BSerialPort other;
	ASSERT_GT(other.Open("a-busy"), 0);
	CaptureStdout();
	RB_Init();
	EXPECT_EQ(GetCapturedStdout(), "RB: Using serial port b-free\n");
}

TEST_F(RemoteBusLink, ReceiveOnClosedPortReturnsTheError)
{
	RB_Quit();
	uint8 bytes[4];
	EXPECT_EQ(RembusReceive(bytes, sizeof(bytes)), B_FILE_ERROR);
}

TEST_F(RemoteBusLink, QuitClosesThePort)
{
	PtyPair pty;
	pty.LinkInto(fRoot.Path(), "serial1");
	CaptureStdout();
	RB_Init();
	GetCapturedStdout();
	BSerialPort other;
	EXPECT_EQ(other.Open("serial1"), B_BUSY);
	RB_Quit();
	EXPECT_GT(other.Open("serial1"), 0);
}

TEST_F(RemoteBusLink, UnitThatHungUpGivesSendErrorsAndNoKeys)
{
	PtyPair pty;
	pty.LinkInto(fRoot.Path(), "serial1");
	CaptureStdout();
	RB_Init();
	GetCapturedStdout();
	pty.HangUp();
	for (int poll = 0; poll < 3; poll++) {
		CaptureStdout();
		EXPECT_EQ(RB_GetKeypress(), 0);
		EXPECT_EQ(GetCapturedStdout(), "ERROR sending byte 90\n");
	}
}
