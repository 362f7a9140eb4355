// The whole program against a remote unit that misbehaves: bad replies are reported and never
// reset, a unit that hangs up leaves the program running idle, and a recovered unit is heard again.

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
	std::string error;
	ASSERT_TRUE(rig.StartUnit(&error)) << error;
	ProgramRun& program = rig.StartProgram();
	ASSERT_TRUE(program.WaitForLine(kClassicLine, kGenerous)) << program.Output();
	ASSERT_TRUE(rig.unit.WaitForLcd(kPrompt1, kPrompt2, Deadline())) << program.Output();
}

size_t CountStarting(const std::vector<std::string>& lines, const std::string& prefix)
{
	size_t count = 0;
	for (const std::string& line : lines)
		count += line.rfind(prefix, 0) == 0 ? 1 : 0;
	return count;
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
