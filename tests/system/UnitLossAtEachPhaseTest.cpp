// The remote unit hangs up, or its port disappears altogether, while the program starts, while it
// announces and while it shuts down: the program goes on without it, the keyboard's ENTER still
// resets, and the reset still comes three seconds after the announcement. (While asking: see the
// remote-unit fault tests.)

#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/ProgramRun.h"
#include "support/RemoteUnitRig.h"
#include "support/Transcript.h"
#include "unit-sim/UnitSimulator.h"

using namespace VelmoTest;
using namespace std::chrono_literals;

namespace {

const std::chrono::seconds kGenerous = 20s;

enum class Phase
{
	Starting,
	Announcing,
	ShuttingDown
};

enum class LineLoss
{
	HangUp,
	Removal
};

struct LossCase
{
	Phase phase;
	LineLoss loss;
};

void LoseTheUnit(UnitSim::UnitSimulator& unit, LineLoss loss)
{
	if (loss == LineLoss::HangUp)
		unit.HangUp();
	else
		unit.Remove();
}

class UnitLostAtPhase : public testing::TestWithParam<LossCase>
{
};

TEST_P(UnitLostAtPhase, ProgramGoesOnAndResetsOnTime)
{
	const LossCase lossCase = GetParam();
	RemoteUnitRig rig;
	std::string error;
	ASSERT_TRUE(rig.StartUnit(&error)) << error;
	ProgramRun& program = rig.StartProgram();

	if (lossCase.phase == Phase::Starting) {
		// Before the program has had a reply, or just after: the port was found at the start.
		LoseTheUnit(rig.unit, lossCase.loss);
		ASSERT_TRUE(program.WaitForLine(kPrompt2, kGenerous)) << program.Output();
		program.Type("\r");
	} else {
		ASSERT_TRUE(program.WaitForLine(kClassicLine, kGenerous)) << program.Output();
		ASSERT_TRUE(rig.unit.WaitForLcd(kPrompt1, kPrompt2, Clock::now() + kGenerous));
		rig.unit.PressKey(UnitSim::Key::Enter);
		ASSERT_TRUE(program.WaitForLine(kAnnounce2, kGenerous)) << program.Output();
		if (lossCase.phase == Phase::ShuttingDown) {
			ASSERT_TRUE(program.WaitForLine(kResetLine, kGenerous)) << program.Output();
		}
		LoseTheUnit(rig.unit, lossCase.loss);
	}
	ASSERT_TRUE(program.WaitForExit(kGenerous)) << program.Output();
	EXPECT_TRUE(program.Exited());
	EXPECT_EQ(program.ExitCode(), 0);

	// Lost at the start, the unit may be gone before the program opens its port, or before it
	// has answered: whether the port and the model are named depends on the moment. A hang-up
	// in the middle of a reply leaves a partial one, which fails the checksum.
	const std::vector<std::string> lines = program.Texts();
	ResetTranscript expected = rig.Transcript();
	expected.sendErrors = true;
	expected.faultLines = {"Invalid checksum"};
	if (lossCase.phase == Phase::Starting) {
		if (IndexOf(lines, "RB: Using serial port serial1") < 0)
			expected.portName.clear();
		if (IndexOf(lines, expected.modelLine) < 0)
			expected.modelLine.clear();
	}
	EXPECT_TRUE(IsTranscriptOf(program.Lines(), expected));

	Clock::time_point announced;
	Clock::time_point reset;
	ASSERT_TRUE(program.TimeOf(kAnnounce2, &announced));
	ASSERT_TRUE(program.TimeOf(kResetLine, &reset));
	EXPECT_GE(reset - announced, 2900ms);
	// The lost port costs the remote-unit thread nothing it would wait for; the margin is for a
	// loaded machine.
	EXPECT_LE(reset - announced, 3700ms);
}

std::string CaseName(const testing::TestParamInfo<LossCase>& caseInfo)
{
	const char* phases[] = {"Starting", "Announcing", "ShuttingDown"};
	return std::string(caseInfo.param.loss == LineLoss::HangUp ? "HangUp" : "Removal") + "While" +
	       phases[int(caseInfo.param.phase)];
}

INSTANTIATE_TEST_SUITE_P(UnitLossAtEachPhase, UnitLostAtPhase,
                         testing::Values(LossCase{Phase::Starting, LineLoss::HangUp},
                                         LossCase{Phase::Starting, LineLoss::Removal},
                                         LossCase{Phase::Announcing, LineLoss::HangUp},
                                         LossCase{Phase::Announcing, LineLoss::Removal},
                                         LossCase{Phase::ShuttingDown, LineLoss::HangUp},
                                         LossCase{Phase::ShuttingDown, LineLoss::Removal}),
                         CaseName);

} // namespace
