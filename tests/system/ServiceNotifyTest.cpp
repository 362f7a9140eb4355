// The whole program under a service manager's notify socket: the socket is the test's own, bound
// where NOTIFY_SOCKET points, and the program is reset from its terminal's keyboard.

#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/HeadlessProgram.h"
#include "support/NotifyListener.h"
#include "support/ProgramRun.h"
#include "support/TempDirectory.h"
#include "support/Transcript.h"
#include "support/Xvfb.h"

using namespace VelmoTest;
using namespace std::chrono_literals;

namespace {

const std::string kReady = "READY=1";
const std::string kQuestion = "STATUS=Remove floppy / Insert CD, ENTER";
const std::string kAnnouncement = "STATUS=Rebooting VELMO / please wait";
const std::string kQuit = "STOPPING=1\nSTATUS=Quitting on message 'DATA'";

// Answers with ENTER once `shown` holds and waits for the clean exit.
template <typename Shown> void ResetFromTheKeyboardWhen(ProgramRun& program, Shown shown)
{
	ASSERT_TRUE(shown()) << program.Output();
	program.Type("\r");
	ASSERT_TRUE(program.WaitForExit(20s)) << program.Output();
	EXPECT_TRUE(program.Exited());
	EXPECT_EQ(program.ExitCode(), 0) << program.Output();
	EXPECT_EQ(program.Output().find("service notification"), std::string::npos) << program.Output();
}

// The status is what the screen shows: ENTER is pressed once the question is on the screen, as
// an operator would (a question answered before the window's next pulse is never painted).
void ExpectWholeResetTold(NotifyListener& listener, ProgramRun& program)
{
	ResetFromTheKeyboardWhen(program, [&] { return listener.WaitFor(kQuestion, 20s); });
	// The quit is the last datagram the program sends; the rest has come once it has.
	ASSERT_TRUE(listener.WaitFor(kQuit, 10s)) << testing::PrintToString(listener.Datagrams());
	EXPECT_EQ(listener.Datagrams(),
	          (std::vector<std::string>{kReady, kQuestion, kAnnouncement, kQuit}));
}

} // namespace

TEST(ServiceNotify, AResetTellsReadyThenTheQuestionTheAnnouncementAndTheQuit)
{
	PlatformRootDirectory root;
	NotifyListener listener(root.Path());
	ASSERT_TRUE(listener.IsListening());
	ProgramRun::Options options = HeadlessOptions(root);
	options.environment["NOTIFY_SOCKET"] = listener.Address();
	ProgramRun program(VelmoResetPath(), options);

	ExpectWholeResetTold(listener, program);
}

TEST(ServiceNotify, ASocketInTheAbstractNamespaceIsToldTheSame)
{
	PlatformRootDirectory root;
	NotifyListener listener(root.Path(), NotifyListener::Namespace::kAbstract);
	ASSERT_TRUE(listener.IsListening());
	ProgramRun::Options options = HeadlessOptions(root);
	options.environment["NOTIFY_SOCKET"] = listener.Address();
	ProgramRun program(VelmoResetPath(), options);
	ExpectWholeResetTold(listener, program);
}

TEST(ServiceNotify, WithoutNotifySocketNothingIsSentAndTheResetIsTheSame)
{
	PlatformRootDirectory root;
	NotifyListener listener(root.Path());
	ASSERT_TRUE(listener.IsListening());
	ProgramRun::Options options = HeadlessOptions(root);
	ProgramRun program(VelmoResetPath(), options);
	ResetFromTheKeyboardWhen(program, [&] { return program.WaitForLine(kPrompt2, 20s); });
	EXPECT_GE(IndexOf(program.Texts(), kResetLine), 0);
	EXPECT_TRUE(listener.Datagrams().empty()) << testing::PrintToString(listener.Datagrams());
}

TEST(ServiceNotify, AManagerThatIsNotThereCostsOneLineOnStandardErrorAndNothingElse)
{
	PlatformRootDirectory root;
	ProgramRun::Options options = HeadlessOptions(root);
	options.environment["NOTIFY_SOCKET"] = root.Join("nobody-listens");
	ProgramRun program(VelmoResetPath(), options);
	ASSERT_TRUE(program.WaitForLine(kPrompt2, 20s)) << program.Output();
	program.Type("\r");
	ASSERT_TRUE(program.WaitForExit(20s)) << program.Output();
	EXPECT_EQ(program.ExitCode(), 0) << program.Output();
	const std::vector<std::string> lines = program.Texts();
	const std::string failure = "service notification to " + root.Join("nobody-listens") +
	                            " failed: No such file or directory";
	int failures = 0;
	for (const std::string& line : lines)
		failures += line == failure;
	EXPECT_EQ(failures, 1) << program.Output();
	EXPECT_GE(IndexOf(lines, kResetLine), 0);
}

TEST(ServiceNotify, InAnXWindowReadyComesWithTheWindowAndTheStatusFollowsTheScreen)
{
	std::string error;
	std::unique_ptr<Xvfb> server = Xvfb::Start(&error);
	ASSERT_NE(server, nullptr) << "no X server for the test: " << error;
	PlatformRootDirectory root;
	NotifyListener listener(root.Path());
	ASSERT_TRUE(listener.IsListening());
	ProgramRun::Options options;
	options.environment["BEOS_ROOT"] = root.Path();
	options.environment["DISPLAY"] = server->DisplayName();
	options.environment["NOTIFY_SOCKET"] = listener.Address();
	options.unsetEnvironment = {"BEOS_DISPLAY", "SDL_VIDEODRIVER", "WAYLAND_DISPLAY"};
	ProgramRun program(VelmoResetPath(), options);

	// READY=1 is sent once SDL has shown the window: the X server has it mapped by then or soon.
	ASSERT_TRUE(listener.WaitFor(kReady, 20s)) << program.Output();
	std::string window;
	const Clock::time_point deadline = Clock::now() + 20s;
	while (window.empty() && Clock::now() < deadline) {
		std::string output;
		if (server->Run(
		        {"xdotool", "search", "--onlyvisible", "--pid", std::to_string(program.Pid())},
		        &output))
			std::istringstream(output) >> window;
		else
			std::this_thread::sleep_for(50ms);
	}
	ASSERT_FALSE(window.empty()) << program.Output();

	ASSERT_TRUE(listener.WaitFor(kQuestion, 20s)) << testing::PrintToString(listener.Datagrams());
	// xdotool can fail on a passing X error while the focus changes: a few tries.
	bool pressed = false;
	for (int attempt = 0; attempt < 5 && !pressed; attempt++) {
		server->Run({"xdotool", "windowfocus", "--sync", window}, nullptr, &error);
		pressed = server->Run({"xdotool", "key", "--clearmodifiers", "Return"}, nullptr, &error);
		if (!pressed)
			std::this_thread::sleep_for(100ms);
	}
	ASSERT_TRUE(pressed) << error;
	ASSERT_TRUE(program.WaitForExit(20s)) << program.Output();
	EXPECT_EQ(program.ExitCode(), 0) << program.Output();
	ASSERT_TRUE(listener.WaitFor(kQuit, 10s)) << testing::PrintToString(listener.Datagrams());
	EXPECT_EQ(listener.Datagrams(),
	          (std::vector<std::string>{kReady, kQuestion, kAnnouncement, kQuit}));
}
