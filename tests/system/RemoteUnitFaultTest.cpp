// The whole program against a remote unit that misbehaves: bad replies are reported and never
// reset, a unit that hangs up leaves the program running idle, and a recovered unit is heard again.

#include <stdio.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/Eventually.h"
#include "support/ProcessTimes.h"
#include "support/ProgramRun.h"
#include "support/RemoteUnitRig.h"
#include "support/Transcript.h"
#include "unit-sim/UnitSimulator.h"

using namespace VelmoTest;
using namespace std::chrono_literals;

namespace {

const std::chrono::seconds kGenerous = 20s;

Clock::time_point Deadline(std::chrono::seconds timeout = kGenerous)
{
	return Clock::now() + timeout;
}

void StartAndWaitForTheQuestion(RemoteUnitRig& rig)
{
	std::string why;
	ASSERT_TRUE(rig.StartAndWaitForTheQuestion(kGenerous, &why)) << why;
}

// Waits until `polls` more polls have come while the program printed nothing. False when the
// program kept printing until the deadline.
bool WaitForQuietPolls(RemoteUnitRig& rig, uint64_t polls, Clock::time_point deadline)
{
	for (;;) {
		size_t printed = rig.program->Lines().size();
		if (!rig.unit.WaitForPolls(rig.unit.PollCount() + polls, deadline))
			return false;
		if (rig.program->Lines().size() == printed)
			return true;
	}
}

TEST(RemoteUnitFaults, BadRepliesAreReportedNeverResetAndTheRecoveredUnitsEnterDoes)
{
	RemoteUnitRig rig;
	ASSERT_NO_FATAL_FAILURE(StartAndWaitForTheQuestion(rig));
	ProgramRun& program = *rig.program;

	rig.unit.SetMisbehaviour(UnitSim::Misbehaviour::WrongHeader);
	EXPECT_TRUE(program.WaitForLine("Unknown header type 91", kGenerous)) << program.Output();

	rig.unit.SetMisbehaviour(UnitSim::Misbehaviour::BadChecksum);
	EXPECT_TRUE(program.WaitForLine("Invalid checksum", kGenerous)) << program.Output();

	// Every garbage reply has every key bit set, and the good reply before it had none.
	rig.unit.SetMisbehaviour(UnitSim::Misbehaviour::Garbage);
	const Clock::time_point garbageFrom = Clock::now();
	const uint64_t pollsBeforeGarbage = rig.unit.PollCount();
	EXPECT_TRUE(Eventually(
	    [&] {
		    return Clock::now() - garbageFrom >= 2s &&
		           rig.unit.PollCount() >= pollsBeforeGarbage + 20;
	    },
	    kGenerous));

	// Past the expected 19 bytes the rest of each reply is read as the next one: zeros.
	rig.unit.SetMisbehaviour(UnitSim::Misbehaviour::LongReply);
	EXPECT_TRUE(program.WaitForLine("Unknown header type 00", kGenerous)) << program.Output();

	// Silence lets the tails queued up on the line be read out; then nothing more is printed.
	rig.unit.SetMisbehaviour(UnitSim::Misbehaviour::Silence);
	EXPECT_TRUE(WaitForQuietPolls(rig, 40, Deadline(60s))) << program.Output();

	std::vector<std::string> beforeRecovery = program.Texts();
	EXPECT_EQ(IndexOf(beforeRecovery, kAnnounce1), -1) << program.Output();
	EXPECT_GE(CountStarting(beforeRecovery, "Unknown header type "), 3u);
	EXPECT_EQ(rig.unit.LcdLines(), std::make_pair(kPrompt1, kPrompt2));

	rig.unit.SetMisbehaviour(UnitSim::Misbehaviour::None);
	rig.unit.PressKey(UnitSim::Key::Enter);
	ASSERT_TRUE(program.WaitForLine(kAnnounce2, kGenerous)) << program.Output();
	ASSERT_TRUE(program.WaitForExit(kGenerous)) << program.Output();
	EXPECT_EQ(program.ExitCode(), 0);

	// The rejected replies' lines aside, a whole reset; the unit was detected once only.
	ResetTranscript expected = rig.Transcript();
	expected.faultLines = {"Unknown header type ", "Invalid checksum"};
	EXPECT_TRUE(IsTranscriptOf(program.Lines(), expected));
}

TEST(RemoteUnitFaults, UnitGarbledFromTheStartIsDetectedOnceItAnswersWell)
{
	RemoteUnitRig rig;
	rig.unit.SetMisbehaviour(UnitSim::Misbehaviour::Garbage);
	std::string error;
	ASSERT_TRUE(rig.StartUnit(&error)) << error;
	ProgramRun& program = rig.StartProgram();
	ASSERT_TRUE(program.WaitForLine(kPrompt2, kGenerous)) << program.Output();
	ASSERT_TRUE(rig.unit.WaitForPolls(rig.unit.PollCount() + 20, Deadline()));
	std::vector<std::string> garbled = program.Texts();
	EXPECT_EQ(IndexOf(garbled, kClassicLine), -1);
	EXPECT_EQ(IndexOf(garbled, kAnnounce1), -1);

	rig.unit.SetMisbehaviour(UnitSim::Misbehaviour::None);
	ASSERT_TRUE(program.WaitForLine(kClassicLine, kGenerous)) << program.Output();
	rig.unit.PressKey(UnitSim::Key::Enter);
	ASSERT_TRUE(program.WaitForExit(kGenerous)) << program.Output();
	EXPECT_EQ(program.ExitCode(), 0);
	ResetTranscript expected = rig.Transcript();
	expected.faultLines = {"Unknown header type "};
	EXPECT_TRUE(IsTranscriptOf(program.Lines(), expected));
}

TEST(RemoteUnitFaults, UnitSpeakingUnpolledGarblesItsRepliesButTheKeyboardStillResets)
{
	UnitSim::Options options;
	options.wireTiming = true;
	// Not every 50 ms: while the length is being measured, a pass that rejected a reply for such
	// a byte ends 10 ms after it, pauses 20 ms, then reads until about 49 ms after it (the LCD
	// text and the poll, 5.9 ms; the reply, 3.3 ms; the read time-out, 10 ms), so the next byte,
	// 50 ms on, can fall into that read again and again, and the unit is never measured (seen
	// once in a full run: 400 rejected replies in 20 s). 70 ms leaves that read alone.
	options.unsolicitedInterval = 70ms;
	RemoteUnitRig rig(options);
	rig.unit.SetMisbehaviour(UnitSim::Misbehaviour::Unsolicited);
	std::string error;
	ASSERT_TRUE(rig.StartUnit(&error)) << error;
	ProgramRun& program = rig.StartProgram();
	ASSERT_TRUE(program.WaitForLine(kPrompt2, kGenerous)) << program.Output();
	// Every extra byte shifts the replies after it: nothing clears the line before a poll.
	ASSERT_TRUE(program.WaitForLine("Unknown header type 55", kGenerous)) << program.Output();
	ASSERT_TRUE(rig.unit.WaitForPolls(rig.unit.PollCount() + 50, Deadline()));
	EXPECT_EQ(IndexOf(program.Texts(), kAnnounce1), -1) << program.Output();
	EXPECT_EQ(rig.unit.LcdLines(), std::make_pair(kPrompt1, kPrompt2));

	const Clock::time_point typed = Clock::now();
	program.Type("\r");
	ASSERT_TRUE(program.WaitForLine(kAnnounce2, kGenerous)) << program.Output();
	ASSERT_TRUE(program.WaitForExit(kGenerous)) << program.Output();
	EXPECT_EQ(program.ExitCode(), 0);
	Clock::time_point reset;
	ASSERT_TRUE(program.TimeOf(kResetLine, &reset));
	EXPECT_GE(reset - typed, 2900ms);

	// Whatever the shifted replies made of the model and the checksum, only such lines come
	// between those of the reset.
	ResetTranscript expected = rig.Transcript();
	expected.modelLine.clear();
	expected.faultLines = {"Unknown header type ", "Invalid checksum", "Detected ",
	                       "Unknown packet size "};
	EXPECT_TRUE(IsTranscriptOf(program.Lines(), expected));
}

TEST(RemoteUnitFaults, UnitAnsweringHalfASecondLateIsHeardHalfASecondLate)
{
	UnitSim::Options options;
	options.wireTiming = true;
	RemoteUnitRig rig(options);
	rig.unit.SetMisbehaviour(UnitSim::Misbehaviour::LateReply);
	rig.unit.SetLateReplyDelay(500ms);
	std::string error;
	ASSERT_TRUE(rig.StartUnit(&error)) << error;
	ProgramRun& program = rig.StartProgram();
	// Every poll times out; each reply comes in while a later poll reads, and is taken as the
	// reply to that one.
	ASSERT_TRUE(program.WaitForLine(kClassicLine, kGenerous)) << program.Output();
	ASSERT_TRUE(rig.unit.WaitForLcd(kPrompt1, kPrompt2, Deadline())) << program.Output();

	const Clock::time_point pressed = Clock::now();
	rig.unit.PressKey(UnitSim::Key::Enter);
	ASSERT_TRUE(program.WaitForLine(kAnnounce2, kGenerous)) << program.Output();
	Clock::time_point announced;
	ASSERT_TRUE(program.TimeOf(kAnnounce2, &announced));
	const Clock::time_point rose = rig.unit.KeyRiseTime(UnitSim::Key::Enter);
	ASSERT_NE(rose, Clock::time_point());
	// The press goes out half a second after the poll that found it, and is taken by whichever
	// poll is reading then: the program's pace is its own, a pass from the reply at most (the
	// bound below leaves room for a loaded machine).
	EXPECT_GE(rose - pressed, 500ms);
	EXPECT_GE(announced - pressed, 500ms);
	EXPECT_LT(announced - rose, 400ms);
	ASSERT_TRUE(program.WaitForExit(kGenerous)) << program.Output();
	EXPECT_EQ(program.ExitCode(), 0);
	EXPECT_TRUE(IsTranscriptOf(program.Lines(), rig.Transcript()));
}

TEST(RemoteUnitFaults, UnitSlowerThanTheLineStillHasItsAnswerReadInTheSamePass)
{
	// 5 ms from taking the poll to answering: more than the read time-out leaves once the LCD
	// text and the poll, written at once, have crossed the line (10 ms - 5.9 ms).
	UnitSim::Options options;
	options.wireTiming = true;

	// A pass that read the answer to its own poll lasts the 20 ms pause, the 53 characters' time
	// (9.2 ms) and the unit's 5 ms; one that found the previous answer waiting never waits for
	// the line and is shorter than the first two together. A slow machine can only lengthen it.
	// When the unit's own thread runs late (a loaded machine), that answer comes past the whole
	// time-out and is read by the next poll; the program is back in step a few polls later. So
	// the passes are judged away from the unit's stalls, and there must be enough of them.
	RemoteUnitRig rig(options);
	rig.unit.SetMisbehaviour(UnitSim::Misbehaviour::LateReply);
	rig.unit.SetLateReplyDelay(5ms);
	std::string why;
	ASSERT_TRUE(rig.StartAndWaitForTheQuestion(kGenerous, &why)) << why;
	const Clock::time_point measuredFrom = Clock::now();
	const size_t kSettlePolls = 5;
	const size_t kJudgedPasses = 30;
	std::vector<Clock::duration> passes;
	while (passes.size() < kJudgedPasses) {
		ASSERT_TRUE(rig.unit.WaitForPolls(rig.unit.PollCount() + 10, Deadline()))
		    << rig.program->Output();
		// Only where the unit cannot be given a processor ahead of others (not as root). No
		// verdict is no pass: the run fails and says why.
		if (Clock::now() - measuredFrom > kGenerous) {
			FAIL() << "cannot judge the pass: the unit's thread stalled " << rig.unit.StallCount()
			       << " times in " << kGenerous.count() << " s, leaving " << passes.size()
			       << " of the " << kJudgedPasses << " passes needed clear of its stalls";
		}
		passes = PollGapsClearOfStalls(rig.unit, measuredFrom, kSettlePolls);
	}
	std::nth_element(passes.begin(), passes.begin() + passes.size() / 2, passes.end());
	const Clock::duration pass = passes[passes.size() / 2];
	printf("pass %lld us over %zu passes clear of the unit's %llu stalls\n",
	       (long long)std::chrono::duration_cast<std::chrono::microseconds>(pass).count(),
	       passes.size(), (unsigned long long)rig.unit.StallCount());
	EXPECT_GE(pass, 29ms);

	rig.unit.PressKey(UnitSim::Key::Enter);
	ASSERT_TRUE(rig.program->WaitForExit(kGenerous)) << rig.program->Output();
	EXPECT_EQ(rig.program->ExitCode(), 0);
	EXPECT_TRUE(IsTranscriptOf(rig.program->Lines(), rig.Transcript()));
}

enum class LineLoss
{
	HangUp,
	Removal
};

class UnitGoesAway : public testing::TestWithParam<LineLoss>
{
};

TEST_P(UnitGoesAway, ProgramKeepsRunningIdleAndTheKeyboardResets)
{
	RemoteUnitRig rig;
	ASSERT_NO_FATAL_FAILURE(StartAndWaitForTheQuestion(rig));
	ProgramRun& program = *rig.program;

	if (GetParam() == LineLoss::HangUp)
		rig.unit.HangUp();
	else
		rig.unit.Remove();
	ASSERT_TRUE(rig.unit.IsHungUp());
	// The next byte cannot go out any more.
	const auto failed = [&] { return CountStarting(program.Texts(), kSendErrorPrefix) > 0; };
	ASSERT_TRUE(Eventually(failed, kGenerous)) << program.Output();

	// A measurement over a fixed window, not a synchronisation: the thread that lost its port
	// must go on at its pace, not spin on a descriptor that is always ready.
	const std::chrono::microseconds cpuBefore = CpuTimeOf(program.Pid());
	const Clock::time_point wallBefore = Clock::now();
	std::this_thread::sleep_for(2s);
	const std::chrono::microseconds cpuAfter = CpuTimeOf(program.Pid());
	const auto wall =
	    std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - wallBefore);
	ASSERT_GE(cpuBefore.count(), 0);
	ASSERT_GE(cpuAfter.count(), 0);
	EXPECT_LT((cpuAfter - cpuBefore).count(), wall.count() / 2)
	    << "the program used " << (cpuAfter - cpuBefore).count() << " us of processor time in "
	    << wall.count() << " us";

	program.Type("\r");
	ASSERT_TRUE(program.WaitForLine(kAnnounce2, kGenerous)) << program.Output();
	ASSERT_TRUE(program.WaitForExit(kGenerous)) << program.Output();
	EXPECT_TRUE(program.Exited());
	EXPECT_EQ(program.ExitCode(), 0);
	// A hang-up in the middle of a reply drops what the line still held: the bytes read by then
	// fail the checksum, once.
	std::vector<std::string> lines = WithoutSendErrors(program.Texts());
	EXPECT_LE(CountStarting(lines, "Invalid checksum"), 1u);
	ResetTranscript expected = rig.Transcript();
	expected.sendErrors = true;
	expected.faultLines = {"Invalid checksum"};
	EXPECT_TRUE(IsTranscriptOf(program.Lines(), expected));
	// The announcement was still written, byte by byte, into the lost port, and each failed byte
	// printed or counted: one pass at least, the LCD text command, 32 characters and the poll.
	EXPECT_GE(SendFailuresTold(program.Texts()), 34u) << program.Output();
}

INSTANTIATE_TEST_SUITE_P(RemoteUnitFaults, UnitGoesAway,
                         testing::Values(LineLoss::HangUp, LineLoss::Removal),
                         [](const testing::TestParamInfo<LineLoss>& caseInfo) {
	                         return caseInfo.param == LineLoss::HangUp ? std::string("HangUp")
	                                                                   : std::string("Removal");
                         });

} // namespace
