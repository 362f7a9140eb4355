// The whole program against the simulated remote unit on a pseudo-terminal: the unit is found and
// named, shows the dialogue on its LCD, and its ENTER key resets the machine.

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

Clock::time_point Deadline()
{
	return Clock::now() + kGenerous;
}

// Every line the three threads print, each thread's in its order, and nothing else.
void ExpectWholeReset(const RemoteUnitRig& rig)
{
	const std::vector<std::string> lines = rig.program->Texts();
	EXPECT_TRUE(IsTranscriptOf(rig.program->Lines(), rig.Transcript()));
	EXPECT_LT(IndexOf(lines, kResetLine), IndexOf(lines, "UserInterface exiting"));
}

void StartAndWaitForTheQuestion(RemoteUnitRig& rig)
{
	std::string why;
	ASSERT_TRUE(rig.StartAndWaitForTheQuestion(kGenerous, &why)) << why;
}

struct ModelCase
{
	UnitSim::Model model;
	std::string modelLine;
};

class EnterOnTheUnit : public testing::TestWithParam<ModelCase>
{
};

TEST_P(EnterOnTheUnit, ResetsAfterTheModelIsDetectedAndTheLcdFollowsTheScreen)
{
	UnitSim::Options options;
	options.model = GetParam().model;
	RemoteUnitRig rig(options);
	ASSERT_NO_FATAL_FAILURE(StartAndWaitForTheQuestion(rig));
	ProgramRun& program = *rig.program;

	const Clock::time_point pressed = Clock::now();
	rig.unit.PressKey(UnitSim::Key::Enter);
	ASSERT_TRUE(program.WaitForLine(kAnnounce2, kGenerous)) << program.Output();
	ASSERT_TRUE(rig.unit.WaitForLcd(kAnnounce1, kAnnounce2, Deadline())) << program.Output();
	ASSERT_TRUE(program.WaitForExit(kGenerous)) << program.Output();
	EXPECT_TRUE(program.Exited());
	EXPECT_EQ(program.ExitCode(), 0);
	ExpectWholeReset(rig);

	// Nothing is sent while both lines are empty, so the question is the first frame; then the
	// question until ENTER, and the announcement from then to the end.
	std::vector<UnitSim::LcdFrame> frames = rig.unit.LcdFrames();
	ASSERT_FALSE(frames.empty());
	EXPECT_EQ(frames.front().line1, kPrompt1);
	EXPECT_EQ(frames.front().line2, kPrompt2);
	size_t firstAnnouncement = frames.size();
	for (size_t index = 0; index < frames.size(); index++) {
		const UnitSim::LcdFrame& frame = frames[index];
		bool asks = frame.line1 == kPrompt1 && frame.line2 == kPrompt2;
		bool announces = frame.line1 == kAnnounce1 && frame.line2 == kAnnounce2;
		if (firstAnnouncement == frames.size() && announces)
			firstAnnouncement = index;
		if (firstAnnouncement == frames.size())
			EXPECT_TRUE(asks) << "frame " << index << ": |" << frame.line1 << frame.line2 << "|";
		else
			EXPECT_TRUE(announces)
			    << "frame " << index << ": |" << frame.line1 << frame.line2 << "|";
	}
	ASSERT_LT(firstAnnouncement, frames.size());
	EXPECT_GE(frames[firstAnnouncement].time, pressed);
}

INSTANTIATE_TEST_SUITE_P(RemoteUnitReset, EnterOnTheUnit,
                         testing::Values(ModelCase{UnitSim::Model::Km3, kClassicLine},
                                         ModelCase{UnitSim::Model::Km3II, "Detected KM-3II"}),
                         [](const testing::TestParamInfo<ModelCase>& caseInfo) {
	                         return caseInfo.param.model == UnitSim::Model::Km3
	                                    ? std::string("ClassicKm3")
	                                    : std::string("Km3II");
                         });

TEST(RemoteUnitReset, EnterHeldDownAnnouncesOnceAndTheProgramStillEnds)
{
	RemoteUnitRig rig;
	ASSERT_NO_FATAL_FAILURE(StartAndWaitForTheQuestion(rig));
	ProgramRun& program = *rig.program;

	// Down in every reply from now to the end, through the announcement and the shut-down.
	rig.unit.HoldKey(UnitSim::Key::Enter, true);
	ASSERT_TRUE(program.WaitForLine(kAnnounce2, kGenerous)) << program.Output();
	ASSERT_TRUE(program.WaitForExit(kGenerous)) << program.Output();
	EXPECT_EQ(program.ExitCode(), 0);
	ExpectWholeReset(rig);
}

TEST(RemoteUnitReset, BackslashIsIgnoredAndEnterStillResets)
{
	RemoteUnitRig rig;
	ASSERT_NO_FATAL_FAILURE(StartAndWaitForTheQuestion(rig));
	ProgramRun& program = *rig.program;

	rig.unit.PressKey(UnitSim::Key::Backslash);
	// The press lasts a few polls; well after them the installer is still asking.
	ASSERT_TRUE(rig.unit.WaitForPolls(rig.unit.PollCount() + 10, Deadline()));
	EXPECT_FALSE(program.WaitForLine(kAnnounce1, 500ms)) << program.Output();
	EXPECT_EQ(rig.unit.LcdLines(), std::make_pair(kPrompt1, kPrompt2));

	rig.unit.PressKey(UnitSim::Key::Enter);
	ASSERT_TRUE(program.WaitForExit(kGenerous)) << program.Output();
	EXPECT_EQ(program.ExitCode(), 0);
	ExpectWholeReset(rig);
}

} // namespace

TEST(RemoteUnitReset, WithoutDisplayOrTerminalTheUnitAloneRunsTheDialogue)
{
	RemoteUnitRig rig;
	std::string error;
	ASSERT_TRUE(rig.StartUnit(&error)) << error;
	// As a service starts it: standard input from /dev/null, output to a pipe, and nothing in
	// the environment that names a display.
	ProgramRun::Options options;
	options.environment["BEOS_ROOT"] = rig.root.Path();
	options.unsetEnvironment = {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER", "BEOS_DISPLAY"};
	options.onTerminal = false;
	ProgramRun& program = rig.StartProgram(options);
	ASSERT_TRUE(program.WaitForLine(kClassicLine, kGenerous)) << program.Output();
	ASSERT_TRUE(rig.unit.WaitForLcd(kPrompt1, kPrompt2, Deadline())) << program.Output();
	// The end of standard input is no key: the question stays.
	ASSERT_TRUE(rig.unit.WaitForPolls(rig.unit.PollCount() + 20, Deadline()));
	EXPECT_EQ(IndexOf(program.Texts(), kAnnounce1), -1) << program.Output();

	rig.unit.PressKey(UnitSim::Key::Enter);
	ASSERT_TRUE(rig.unit.WaitForLcd(kAnnounce1, kAnnounce2, Deadline())) << program.Output();
	ASSERT_TRUE(program.WaitForExit(kGenerous)) << program.Output();
	EXPECT_TRUE(program.Exited());
	EXPECT_EQ(program.ExitCode(), 0);
	// First the line saying which display was taken and why (standard error shares the pipe).
	std::vector<PrintedLine> lines = program.Lines();
	ASSERT_FALSE(lines.empty());
	EXPECT_EQ(lines.front().text.rfind("display: headless, no DISPLAY or WAYLAND_DISPLAY, ", 0), 0u)
	    << program.Output();
	lines.erase(lines.begin());
	EXPECT_TRUE(IsTranscriptOf(lines, rig.Transcript()));
	std::vector<std::string> texts = program.Texts();
	texts.erase(texts.begin());
	EXPECT_LT(IndexOf(texts, kResetLine), IndexOf(texts, "UserInterface exiting"));
}
