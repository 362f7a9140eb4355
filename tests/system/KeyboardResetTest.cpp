// The whole program, started as a person would on a terminal, reset from the keyboard.

#include <signal.h>
#include <termios.h>

#include <chrono>
#include <filesystem>

#include <gtest/gtest.h>

#include "support/HeadlessProgram.h"
#include "support/ProgramRun.h"
#include "support/TempDirectory.h"
#include "support/Transcript.h"

using namespace VelmoTest;
using namespace std::chrono_literals;

namespace {

void
ExpectWholeReset(const ProgramRun& program, bool velmoLaunchWasRunning)
{
	ResetTranscript expected;
	expected.velmoLaunchWasRunning = velmoLaunchWasRunning;
	expected.sendErrors = true;
	EXPECT_TRUE(IsTranscriptOf(program.Lines(), expected));
	std::vector<std::string> lines = WithoutSendErrors(program.Texts());
	// Each thread prints in its own order; across threads the shut-down fixes some more.
	EXPECT_LT(IndexOf(lines, kAnnounce2), IndexOf(lines, kResetLine));
	EXPECT_LT(IndexOf(lines, kResetLine), IndexOf(lines, "Installer exiting"));
	EXPECT_LT(IndexOf(lines, "Installer exiting"), IndexOf(lines, "UserInterface exiting"));
	ASSERT_FALSE(lines.empty());
	EXPECT_EQ(lines.back(), "UserInterface exiting");
}

} // namespace

TEST(KeyboardReset, EnterOnTheTerminalResetsThreeSecondsLaterAndExitsZero)
{
	PlatformRootDirectory root;
	ProgramRun program(VelmoResetPath(), HeadlessOptions(root));
	ASSERT_TRUE(program.WaitForLine(kPrompt2, 20s)) << program.Output();

	program.Type("\r");
	ASSERT_TRUE(program.WaitForExit(20s)) << program.Output();
	EXPECT_TRUE(program.Exited());
	EXPECT_EQ(program.ExitCode(), 0);
	ExpectWholeReset(program, false);

	Clock::time_point announced;
	Clock::time_point reset;
	ASSERT_TRUE(program.TimeOf(kAnnounce2, &announced));
	ASSERT_TRUE(program.TimeOf(kResetLine, &reset));
	EXPECT_GE(reset - announced, 2900ms);
	EXPECT_LE(reset - announced, 3300ms);
}

TEST(KeyboardReset, OtherKeysAreIgnoredAndEnterStillResets)
{
	PlatformRootDirectory root;
	ProgramRun program(VelmoResetPath(), HeadlessOptions(root));
	ASSERT_TRUE(program.WaitForLine(kPrompt2, 20s)) << program.Output();

	program.Type("abc \\x\x1b[A\t");
	EXPECT_FALSE(program.WaitForLine("Rebooting VELMO ", 500ms));

	program.Type("\n");
	ASSERT_TRUE(program.WaitForExit(20s)) << program.Output();
	EXPECT_EQ(program.ExitCode(), 0);
	ExpectWholeReset(program, false);
}

TEST(KeyboardReset, KeysBeforeTheQueueAfterItAndInFloodsAreHarmless)
{
	PlatformRootDirectory root;
	ProgramRun::Options options = HeadlessOptions(root);
	options.terminalEcho = false;
	ProgramRun program(VelmoResetPath(), options);
	// At once: the window takes keys before the key queue exists.
	program.Type(std::string(50, 'q'));
	ASSERT_TRUE(program.WaitForLine(kPrompt2, 20s)) << program.Output();

	// A burst fills the key queue faster than the installer empties it, and the keys that find
	// it full are dropped: an ENTER among them may be lost, so press it until it is taken.
	program.Type(std::string(200, 'z'));
	bool announced = false;
	for (int i = 0; i < 100 && !announced; i++) {
		program.Type("\r");
		announced = program.WaitForLine(kAnnounce2, 200ms);
	}
	ASSERT_TRUE(announced) << program.Output();
	// During the announcement nobody reads the queue: it fills, and keys are dropped.
	program.Type(std::string(200, 'y') + "\r\r\r");
	ASSERT_TRUE(program.WaitForLine(kResetLine, 20s)) << program.Output();
	// During and after the shut-down, with the queue deleted.
	program.Type(std::string(100, 'w'));
	ASSERT_TRUE(program.WaitForExit(20s)) << program.Output();
	EXPECT_EQ(program.ExitCode(), 0);
	ExpectWholeReset(program, false);
}

TEST(KeyboardReset, RunningVelmoLaunchIsKilledAndACopyElsewhereIsNot)
{
	PlatformRootDirectory root;
	std::filesystem::copy_file("/bin/sleep", root.VelmoLaunchPath());
	root.MakeDirectories("elsewhere");
	std::filesystem::copy_file("/bin/sleep", root.Join("elsewhere/VelmoLaunch"));

	ProgramRun::Options sleepOptions;
	sleepOptions.arguments = {"600"};
	sleepOptions.onTerminal = false;
	ProgramRun velmoLaunch(root.VelmoLaunchPath(), sleepOptions);
	ProgramRun copy(root.Join("elsewhere/VelmoLaunch"), sleepOptions);

	ProgramRun program(VelmoResetPath(), HeadlessOptions(root));
	ASSERT_TRUE(program.WaitForLine("VelmoReset::ReadyToRun(): VelmoLaunch terminated.", 20s))
		<< program.Output();
	ASSERT_TRUE(velmoLaunch.WaitForExit(5s));
	EXPECT_TRUE(velmoLaunch.Signaled());
	EXPECT_EQ(velmoLaunch.TermSignal(), SIGKILL);

	ASSERT_TRUE(program.WaitForLine(kPrompt2, 20s)) << program.Output();
	program.Type("\r");
	ASSERT_TRUE(program.WaitForExit(20s)) << program.Output();
	EXPECT_EQ(program.ExitCode(), 0);
	ExpectWholeReset(program, true);
	// It was gone before the worker threads started.
	std::vector<std::string> lines = WithoutSendErrors(program.Texts());
	EXPECT_LT(IndexOf(lines, "VelmoReset::ReadyToRun(): VelmoLaunch terminated."),
		IndexOf(lines, "Installer running (default mode = 0)"));

	EXPECT_FALSE(copy.WaitForExit(100ms)) << "the copy at another path was killed";
}

class SignalEndsTheProgram : public testing::TestWithParam<int> {};

TEST_P(SignalEndsTheProgram, PromptlyWithTheTerminalRestored)
{
	PlatformRootDirectory root;
	ProgramRun program(VelmoResetPath(), HeadlessOptions(root));
	struct termios before;
	ASSERT_EQ(tcgetattr(program.TerminalFd(), &before), 0);
	ASSERT_TRUE(program.WaitForLine(kPrompt2, 20s)) << program.Output();

	struct termios asking;
	ASSERT_EQ(tcgetattr(program.TerminalFd(), &asking), 0);
	EXPECT_EQ(asking.c_lflag & (ICANON | ECHO), 0u) << "the terminal is not in raw mode";

	program.Signal(GetParam());
	ASSERT_TRUE(program.WaitForExit(5s)) << program.Output();
	EXPECT_TRUE(program.Signaled()) << "status " << program.Status();
	EXPECT_EQ(program.TermSignal(), GetParam());
	EXPECT_EQ(program.Output().find("Sanitizer"), std::string::npos) << program.Output();

	struct termios after;
	ASSERT_EQ(tcgetattr(program.TerminalFd(), &after), 0);
	EXPECT_EQ(after.c_lflag, before.c_lflag);
	EXPECT_EQ(after.c_iflag, before.c_iflag);
	EXPECT_EQ(after.c_oflag, before.c_oflag);
}

INSTANTIATE_TEST_SUITE_P(KeyboardReset, SignalEndsTheProgram,
	testing::Values(SIGINT, SIGTERM, SIGHUP));
