// The simulated remote unit, seen from the program's side of its line: a plain descriptor on
// its dev/ports link.

#include "unit-sim/UnitSimulator.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/Eventually.h"
#include "support/ProgramRun.h"
#include "support/TempDirectory.h"

using namespace UnitSim;
using VelmoTest::ProgramRun;
using VelmoTest::TempDirectory;

namespace {

typedef std::vector<uint8_t> Bytes;

const std::chrono::seconds kGenerous{5};

Clock::time_point Deadline()
{
	return Clock::now() + kGenerous;
}

unsigned Sum(const Bytes& bytes)
{
	unsigned sum = 0;
	for (uint8_t byte : bytes)
		sum += byte;
	return sum;
}

// The program's end of the line, raw.
class Line
{
public:
	explicit Line(const std::string& path)
	{
		fDescriptor = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
		struct termios attributes;
		if (fDescriptor >= 0 && tcgetattr(fDescriptor, &attributes) == 0) {
			cfmakeraw(&attributes);
			tcsetattr(fDescriptor, TCSANOW, &attributes);
		}
	}
	~Line()
	{
		if (fDescriptor >= 0)
			close(fDescriptor);
	}

	bool IsOpen() const { return fDescriptor >= 0; }

	void Send(const Bytes& bytes) const
	{
		ASSERT_EQ(write(fDescriptor, bytes.data(), bytes.size()), (ssize_t)bytes.size());
	}

	// Reads until `count` bytes came or `timeout` passed.
	Bytes Receive(size_t count, std::chrono::milliseconds timeout = kGenerous) const
	{
		Bytes bytes;
		Clock::time_point deadline = Clock::now() + timeout;
		while (bytes.size() < count) {
			uint8_t buffer[128];
			ssize_t length =
			    read(fDescriptor, buffer, std::min(sizeof(buffer), count - bytes.size()));
			if (length > 0) {
				bytes.insert(bytes.end(), buffer, buffer + length);
				continue;
			}
			auto remaining =
			    std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
			struct pollfd entry = {fDescriptor, POLLIN, 0};
			if (remaining <= 0 || poll(&entry, 1, (int)remaining) <= 0 ||
			    (entry.revents & POLLIN) == 0)
				break;
		}
		return bytes;
	}

	// One poll and the reply of a unit of `model`.
	Bytes Poll(Model model) const
	{
		Send(Bytes(1, kPollByte));
		return Receive(ReplySize(model));
	}

	int Descriptor() const { return fDescriptor; }

private:
	int fDescriptor = -1;
};

Bytes LcdText(const std::string& text)
{
	Bytes bytes;
	bytes.push_back(kLcdTextCommand);
	for (char character : text)
		bytes.push_back((uint8_t)character);
	return bytes;
}

class UnitSimulatorTest : public testing::Test
{
protected:
	void StartUnit(Options options = Options())
	{
		fUnit = std::make_unique<UnitSimulator>(fRoot.Path(), "serial1", options);
		std::string error;
		ASSERT_TRUE(fUnit->Start(&error)) << error;
		fLine = std::make_unique<Line>(fUnit->LinkPath());
		ASSERT_TRUE(fLine->IsOpen());
	}

	TempDirectory fRoot{"velmo-unit-sim"};
	std::unique_ptr<UnitSimulator> fUnit;
	std::unique_ptr<Line> fLine;
};

} // namespace

TEST(StatusReply, ClassicRepliesAre19BytesHeadedAndSummingToZero)
{
	Bytes reply = BuildStatusReply(Model::Km3, 0);
	ASSERT_EQ(reply.size(), 19u);
	EXPECT_EQ(reply[0], kPollByte);
	EXPECT_EQ(Sum(reply) % 128, 0u);
}

TEST(StatusReply, KeyBitsSitWhereEachModelHasThem)
{
	Bytes classic = BuildStatusReply(Model::Km3, KeyFlag(Key::Enter) | KeyFlag(Key::Backslash));
	EXPECT_EQ(classic[11], 0x08);
	EXPECT_EQ(classic[17], 0x04);
	EXPECT_EQ(Sum(classic) % 128, 0u);
	Bytes second = BuildStatusReply(Model::Km3II, KeyFlag(Key::Enter) | KeyFlag(Key::Backslash));
	ASSERT_EQ(second.size(), 27u);
	EXPECT_EQ(second[11], 0x00);
	EXPECT_EQ(second[21], 0x01);
	EXPECT_EQ(second[17], 0x04);
	EXPECT_EQ(Sum(second) % 128, 0u);
}

TEST_F(UnitSimulatorTest, LinksItsLineIntoDevPortsAndRemovesItWhenDestroyed)
{
	StartUnit();
	std::string link = fUnit->LinkPath();
	EXPECT_EQ(link, fRoot.Join("dev/ports/serial1"));
	EXPECT_EQ(std::filesystem::read_symlink(link).string(), fUnit->SlavePath());
	fLine.reset();
	fUnit.reset();
	EXPECT_FALSE(std::filesystem::is_symlink(link));
}

TEST_F(UnitSimulatorTest, AnswersEachPollWithAStatusReply)
{
	StartUnit();
	for (int poll = 0; poll < 3; poll++) {
		Bytes reply = fLine->Poll(Model::Km3);
		ASSERT_EQ(reply.size(), 19u);
		EXPECT_EQ(reply, BuildStatusReply(Model::Km3, 0));
	}
	EXPECT_EQ(fUnit->PollCount(), 3u);
	EXPECT_EQ(fUnit->PollTimes().size(), 3u);
}

// Keeps the calling thread, and the threads it starts, on the first processor.
class OnOneProcessor
{
public:
	OnOneProcessor()
	{
		sched_getaffinity(0, sizeof(fBefore), &fBefore);
		cpu_set_t one;
		CPU_ZERO(&one);
		CPU_SET(0, &one);
		sched_setaffinity(0, sizeof(one), &one);
	}
	~OnOneProcessor() { sched_setaffinity(0, sizeof(fBefore), &fBefore); }

private:
	cpu_set_t fBefore;
};

TEST_F(UnitSimulatorTest, RepliesItsThreadWasKeptFromSendingAreCountedAsStalls)
{
	// The unit takes bytes at the line's pace: 85 bytes it ignores, then a poll, due 15 ms after
	// they went out. Once it has begun on them, a thread of higher real-time priority keeps the
	// one processor the unit's thread may use busy for 40 ms (starting only then, so that the
	// kernel's own work that carries the bytes across the terminal is not held up with it).
	OnOneProcessor onOne;
	Options options;
	options.wireTiming = true;
	ASSERT_NO_FATAL_FAILURE(StartUnit(options));
	ASSERT_EQ(fLine->Poll(Model::Km3).size(), 19u);

	bool held = false;
	bool begun = false;
	std::thread busy([&] {
		struct sched_param priority = {};
		priority.sched_priority = 20;
		held = pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority) == 0;
		Bytes bytes(85, 0x00);
		bytes.push_back(kPollByte);
		fLine->Send(bytes);
		// Looking every millisecond, asleep in between: the unit's thread must get to the bytes.
		begun = VelmoTest::Eventually([&] { return fUnit->IgnoredByteCount() > 0; }, kGenerous,
		                              std::chrono::milliseconds(1));
		const Clock::time_point until = Clock::now() + std::chrono::milliseconds(40);
		while (held && Clock::now() < until) {
		}
	});
	busy.join();
	if (!held)
		GTEST_SKIP() << "no real-time priority here (not root): the unit cannot be held back";
	ASSERT_TRUE(begun);
	EXPECT_EQ(fLine->Receive(19).size(), 19u);
	// Counted once the reply has gone out, which may be just after it was read.
	EXPECT_TRUE(VelmoTest::Eventually(
	    [&] { return fUnit->LongestStall() >= std::chrono::milliseconds(20); }, kGenerous))
	    << "longest stall " << fUnit->LongestStall().count() << " ns";
	EXPECT_GE(fUnit->StallCount(), 1u);
	EXPECT_EQ(fUnit->StallTimes().size(), fUnit->StallCount());
}

TEST_F(UnitSimulatorTest, SecondModelAnswersWith27Bytes)
{
	Options options;
	options.model = Model::Km3II;
	StartUnit(options);
	Bytes reply = fLine->Poll(Model::Km3II);
	EXPECT_EQ(reply.size(), 27u);
	EXPECT_EQ(Sum(reply) % 128, 0u);
}

TEST_F(UnitSimulatorTest, APressHoldsTheKeyForSomePollsThenReleasesIt)
{
	Options options;
	options.pressPolls = 2;
	StartUnit(options);
	fUnit->PressKey(Key::Enter);
	EXPECT_EQ(fLine->Poll(Model::Km3)[11], 0x08);
	EXPECT_EQ(fLine->Poll(Model::Km3)[11], 0x08);
	EXPECT_EQ(fLine->Poll(Model::Km3)[11], 0x00);
}

TEST_F(UnitSimulatorTest, KeyRiseTimeIsWhenTheFirstReplyWithTheKeyDownWentOut)
{
	StartUnit();
	EXPECT_EQ(fUnit->KeyRiseTime(Key::Enter), Clock::time_point());
	fLine->Poll(Model::Km3);
	Clock::time_point beforePress = Clock::now();
	fUnit->HoldKey(Key::Enter, true);
	ASSERT_EQ(fLine->Poll(Model::Km3)[11], 0x08);
	Clock::time_point afterFirstDown = Clock::now();
	Clock::time_point rise = fUnit->KeyRiseTime(Key::Enter);
	EXPECT_GE(rise, beforePress);
	EXPECT_LE(rise, afterFirstDown);
	// Still down: no new rise. Up and down again: a new one.
	fLine->Poll(Model::Km3);
	EXPECT_EQ(fUnit->KeyRiseTime(Key::Enter), rise);
	fUnit->HoldKey(Key::Enter, false);
	fLine->Poll(Model::Km3);
	fUnit->HoldKey(Key::Enter, true);
	fLine->Poll(Model::Km3);
	EXPECT_GT(fUnit->KeyRiseTime(Key::Enter), rise);
	EXPECT_EQ(fUnit->KeyRiseTime(Key::Backslash), Clock::time_point());
}

TEST_F(UnitSimulatorTest, AHeldKeyStaysDownUntilReleased)
{
	StartUnit();
	fUnit->HoldKey(Key::Backslash, true);
	for (int poll = 0; poll < 5; poll++)
		EXPECT_EQ(fLine->Poll(Model::Km3)[17], 0x04);
	fUnit->HoldKey(Key::Backslash, false);
	EXPECT_EQ(fLine->Poll(Model::Km3)[17], 0x00);
}

TEST_F(UnitSimulatorTest, KeepsTheLcdLinesOfEachTextCommand)
{
	StartUnit();
	fLine->Send(LcdText("Remove floppy   Insert CD, ENTER"));
	ASSERT_TRUE(fUnit->WaitForLcd("Remove floppy   ", "Insert CD, ENTER", Deadline()));
	fLine->Send(LcdText("Rebooting VELMO   please wait   "));
	ASSERT_TRUE(fUnit->WaitForLcd("Rebooting VELMO ", "  please wait   ", Deadline()));
	std::vector<LcdFrame> frames = fUnit->LcdFrames();
	ASSERT_EQ(frames.size(), 2u);
	EXPECT_EQ(frames[0].line2, "Insert CD, ENTER");
	EXPECT_LE(frames[0].time, frames[1].time);
	EXPECT_EQ(fUnit->LcdFrameCount(), 2u);
}

TEST_F(UnitSimulatorTest, TakesAPollByteInsideLcdTextAsText)
{
	StartUnit();
	std::string text(32, ' ');
	text[3] = (char)kPollByte;
	fLine->Send(LcdText(text));
	ASSERT_TRUE(fUnit->WaitForLcdFrames(1, Deadline()));
	EXPECT_EQ(fUnit->PollCount(), 0u);
}

TEST_F(UnitSimulatorTest, CountsBytesItDoesNotKnowAndAnswersNothing)
{
	StartUnit();
	fLine->Send({0xA0, 0x01, 0x02});
	fLine->Send(Bytes(1, kPollByte));
	ASSERT_EQ(fLine->Receive(19).size(), 19u);
	EXPECT_EQ(fUnit->IgnoredByteCount(), 3u);
	EXPECT_EQ(fUnit->RepliesSent(), 1u);
}

TEST_F(UnitSimulatorTest, WireTimingDelaysAPollQueuedBehindAnLcdCommand)
{
	Options options;
	options.wireTiming = true;
	StartUnit(options);
	Clock::time_point start = Clock::now();
	Bytes burst = LcdText(std::string(32, 'x'));
	burst.push_back(kPollByte);
	fLine->Send(burst);
	ASSERT_EQ(fLine->Receive(19).size(), 19u);
	// 34 bytes in and 19 out at 10 bit times each: more than 9 ms on the wire.
	EXPECT_GE(Clock::now() - start, std::chrono::microseconds(53 * 10 * 1000000 / 57600 - 500));
}

TEST_F(UnitSimulatorTest, SilentUnitTakesPollsButNeverAnswers)
{
	StartUnit();
	fUnit->SetMisbehaviour(Misbehaviour::Silence);
	fLine->Send(Bytes(1, kPollByte));
	ASSERT_TRUE(fUnit->WaitForPolls(1, Deadline()));
	EXPECT_TRUE(fLine->Receive(1, std::chrono::milliseconds(100)).empty());
	EXPECT_EQ(fUnit->RepliesSent(), 0u);
}

TEST_F(UnitSimulatorTest, WrongHeaderRepliesKeepTheirChecksum)
{
	StartUnit();
	fUnit->SetMisbehaviour(Misbehaviour::WrongHeader);
	Bytes reply = fLine->Poll(Model::Km3);
	ASSERT_EQ(reply.size(), 19u);
	EXPECT_NE(reply[0], kPollByte);
	EXPECT_EQ(Sum(reply) % 128, 0u);
}

TEST_F(UnitSimulatorTest, BadChecksumRepliesAreOtherwiseGood)
{
	StartUnit();
	fUnit->SetMisbehaviour(Misbehaviour::BadChecksum);
	Bytes reply = fLine->Poll(Model::Km3);
	ASSERT_EQ(reply.size(), 19u);
	EXPECT_EQ(reply[0], kPollByte);
	EXPECT_NE(Sum(reply) % 128, 0u);
}

TEST_F(UnitSimulatorTest, GarbageIsNeverHeadedAndCarriesEveryKeyBit)
{
	StartUnit();
	fUnit->SetMisbehaviour(Misbehaviour::Garbage);
	for (int poll = 0; poll < 20; poll++) {
		Bytes reply = fLine->Poll(Model::Km3);
		ASSERT_EQ(reply.size(), 19u);
		EXPECT_NE(reply[0], kPollByte);
		EXPECT_EQ(reply[11] & 0x08, 0x08);
		EXPECT_EQ(reply[17] & 0x04, 0x04);
	}
}

TEST_F(UnitSimulatorTest, LongRepliesRunPastTheProgramsBuffer)
{
	StartUnit();
	fUnit->SetMisbehaviour(Misbehaviour::LongReply);
	fLine->Send(Bytes(1, kPollByte));
	Bytes reply = fLine->Receive(60);
	ASSERT_EQ(reply.size(), 60u);
	EXPECT_EQ(reply[0], kPollByte);
	EXPECT_EQ(Sum(reply) % 128, 0u);
}

TEST_F(UnitSimulatorTest, LateRepliesComeAfterTheirDelay)
{
	StartUnit();
	fUnit->SetMisbehaviour(Misbehaviour::LateReply);
	fUnit->SetLateReplyDelay(std::chrono::milliseconds(40));
	Clock::time_point start = Clock::now();
	EXPECT_EQ(fLine->Poll(Model::Km3).size(), 19u);
	EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(39));
}

TEST_F(UnitSimulatorTest, LateRepliesDoNotHoldUpTheFollowingPolls)
{
	StartUnit();
	fUnit->SetMisbehaviour(Misbehaviour::LateReply);
	fUnit->SetLateReplyDelay(std::chrono::milliseconds(60000));
	fLine->Send(Bytes(3, kPollByte));
	ASSERT_TRUE(fUnit->WaitForPolls(3, Clock::now() + std::chrono::seconds(20)));
	EXPECT_EQ(fUnit->RepliesSent(), 0u);
}

TEST_F(UnitSimulatorTest, UnsolicitedBytesComeWithoutAPoll)
{
	StartUnit();
	fUnit->SetMisbehaviour(Misbehaviour::Unsolicited);
	EXPECT_EQ(fLine->Receive(2), (Bytes{0x55, 0x55}));
	EXPECT_EQ(fUnit->PollCount(), 0u);
}

TEST_F(UnitSimulatorTest, HangUpIsSeenOnTheProgramsSide)
{
	StartUnit();
	fUnit->HangUp();
	EXPECT_TRUE(fUnit->IsHungUp());
	struct pollfd entry = {fLine->Descriptor(), POLLIN, 0};
	ASSERT_EQ(poll(&entry, 1, 5000), 1);
	EXPECT_NE(entry.revents & POLLHUP, 0);
	uint8_t byte = kPollByte;
	EXPECT_EQ(write(fLine->Descriptor(), &byte, 1), -1);
	EXPECT_EQ(errno, EIO);
	EXPECT_TRUE(std::filesystem::is_symlink(fUnit->LinkPath()));
	// The closed terminal's number may go to any new pseudo-terminal: the link leads nowhere.
	EXPECT_NE(std::filesystem::read_symlink(fUnit->LinkPath()).string(), fUnit->SlavePath());
	EXPECT_FALSE(std::filesystem::exists(fUnit->LinkPath()));
}

TEST_F(UnitSimulatorTest, RemovalHangsUpAndUnlinksThePort)
{
	StartUnit();
	fUnit->Remove();
	EXPECT_TRUE(fUnit->IsHungUp());
	EXPECT_FALSE(std::filesystem::is_symlink(fUnit->LinkPath()));
}

TEST_F(UnitSimulatorTest, ReplacesADanglingLinkLeftBehind)
{
	fRoot.MakeDirectories("dev/ports");
	std::filesystem::create_symlink("/dev/pts/nonexistent-9999", fRoot.Join("dev/ports/serial1"));
	StartUnit();
	EXPECT_EQ(fLine->Poll(Model::Km3).size(), 19u);
}

TEST(UnitSimProgram, ShowsTheLcdTakesKeysFromItsTerminalAndRemovesItsLinkAtQuit)
{
	TempDirectory root("velmo-unit-sim-program");
	ProgramRun::Options options;
	options.arguments = {"--root", root.Path(), "--model", "km3ii"};
	ProgramRun program(VelmoTest::BuildPath("velmo-unit-sim"), options);
	std::string link = root.Join("dev/ports/serial1");
	ASSERT_TRUE(program.WaitForLine("UNIT ready " + link + " (km3ii)", kGenerous));

	Line line(link);
	ASSERT_TRUE(line.IsOpen());
	line.Send(LcdText("Remove floppy   Insert CD, ENTER"));
	ASSERT_TRUE(program.WaitForLine("LCD |Remove floppy   |Insert CD, ENTER|", kGenerous));

	program.Type("\r");
	ASSERT_TRUE(program.WaitForLine("KEY ENTER", kGenerous));
	EXPECT_EQ(line.Poll(Model::Km3II)[21], 0x01);

	program.Type("q");
	ASSERT_TRUE(program.WaitForExit(kGenerous));
	EXPECT_EQ(program.ExitCode(), 0);
	EXPECT_FALSE(std::filesystem::is_symlink(link));
}

TEST(UnitSimProgram, AutoEnterPressesEnterAfterThePromptAndSigtermEndsIt)
{
	TempDirectory root("velmo-unit-sim-program");
	ProgramRun::Options options;
	options.arguments = {"--root", root.Path(), "--auto-enter", "0.1"};
	options.onTerminal = false;
	ProgramRun program(VelmoTest::BuildPath("velmo-unit-sim"), options);
	std::string link = root.Join("dev/ports/serial1");
	ASSERT_TRUE(program.WaitForLine("UNIT ready " + link + " (km3)", kGenerous));
	Line line(link);
	line.Send(LcdText("Remove floppy   Insert CD, ENTER"));
	ASSERT_TRUE(program.WaitForLine("KEY ENTER", kGenerous));
	EXPECT_EQ(line.Poll(Model::Km3)[11], 0x08);
	program.Signal(SIGTERM);
	ASSERT_TRUE(program.WaitForExit(kGenerous));
	EXPECT_EQ(program.ExitCode(), 0);
	EXPECT_FALSE(std::filesystem::is_symlink(link));
}
