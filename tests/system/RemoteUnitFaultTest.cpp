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
	std::string why;
	EXPECT_TRUE(IsInterleavingOf(
	    WithoutLinesStarting(program.Texts(), {"Unknown header type ", "Invalid checksum"}),
	    {ApplicationLines(false), InstallerLines(), UserInterfaceLines("serial1", kClassicLine)},
	    &why))
	    << why;
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
	std::string why;
	EXPECT_TRUE(IsInterleavingOf(
	    WithoutLinesStarting(program.Texts(), {"Unknown header type "}),
	    {ApplicationLines(false), InstallerLines(), UserInterfaceLines("serial1", kClassicLine)},
	    &why))
	    << why;
}

TEST(RemoteUnitFaults, UnitSpeakingUnpolledGarblesItsRepliesButTheKeyboardStillResets)
{
	UnitSim::Options options;
	options.wireTiming = true;
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
	std::string why;
	EXPECT_TRUE(IsInterleavingOf(
	    WithoutLinesStarting(program.Texts(), {"Unknown header type ", "Invalid checksum",
	                                           "Detected ", "Unknown packet size "}),
	    {ApplicationLines(false), InstallerLines(), UserInterfaceLines("serial1")}, &why))
	    << why;
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
	std::string why;
	EXPECT_TRUE(IsInterleavingOf(
	    program.Texts(),
	    {ApplicationLines(false), InstallerLines(), UserInterfaceLines("serial1", kClassicLine)},
	    &why))
	    << why;
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
	// But once the unit's thread has run late (a loaded machine: late to take the poll, or to
	// send), its answer has come past even the whole time-out, and from then on each poll finds
	// the answer before it waiting, as the protocol has it. So the unit gets three tries: a
	// program that never waits for the answer to its own poll fails all three.
	Clock::duration longestPass = Clock::duration::zero();
	for (int attempt = 0; attempt < 3 && longestPass < 29ms; attempt++) {
		RemoteUnitRig rig(options);
		rig.unit.SetMisbehaviour(UnitSim::Misbehaviour::LateReply);
		rig.unit.SetLateReplyDelay(5ms);
		std::string why;
		ASSERT_TRUE(rig.StartAndWaitForTheQuestion(kGenerous, &why)) << why;
		const Clock::time_point measuredFrom = Clock::now();
		ASSERT_TRUE(rig.unit.WaitForPolls(rig.unit.PollCount() + 30, Deadline()));
		const Clock::duration pass = MedianPollGap(rig.unit, measuredFrom);
		printf("try %d: pass %lld us, the unit at most %lld us late\n", attempt + 1,
		       (long long)std::chrono::duration_cast<std::chrono::microseconds>(pass).count(),
		       (long long)std::chrono::duration_cast<std::chrono::microseconds>(
		           rig.unit.LongestSendOverrun())
		           .count());
		longestPass = std::max(longestPass, pass);

		rig.unit.PressKey(UnitSim::Key::Enter);
		ASSERT_TRUE(rig.program->WaitForExit(kGenerous)) << rig.program->Output();
		EXPECT_EQ(rig.program->ExitCode(), 0);
		EXPECT_TRUE(IsInterleavingOf(rig.program->Texts(),
		                             {ApplicationLines(false), InstallerLines(),
		                              UserInterfaceLines("serial1", kClassicLine)},
		                             &why))
		    << why;
	}
	EXPECT_GE(longestPass, 29ms);
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
	// The next LCD text command cannot go out any more.
	ASSERT_TRUE(program.WaitForLine("ERROR sending byte f2", kGenerous)) << program.Output();

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
	std::string why;
	EXPECT_TRUE(IsInterleavingOf(
	    WithoutLinesStarting(lines, {"Invalid checksum"}),
	    {ApplicationLines(false), InstallerLines(), UserInterfaceLines("serial1", kClassicLine)},
	    &why))
	    << why;
	// The announcement was still written, byte by byte, into the lost port.
	EXPECT_TRUE(ContainsRun(program.Texts(), SendErrorsOfOnePass(kAnnounce1, kAnnounce2, 0x90)));
}

INSTANTIATE_TEST_SUITE_P(RemoteUnitFaults, UnitGoesAway,
                         testing::Values(LineLoss::HangUp, LineLoss::Removal),
                         [](const testing::TestParamInfo<LineLoss>& caseInfo) {
	                         return caseInfo.param == LineLoss::HangUp ? std::string("HangUp")
	                                                                   : std::string("Removal");
                         });

} // namespace
