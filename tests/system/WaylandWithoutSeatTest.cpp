// The real program on a Wayland compositor that offers no seat (weston, headless), which SDL 2.26
// would crash on: it takes X11 when there is an X display beside it, the terminal otherwise. The
// same with a compositor that takes the connection and never answers, on which SDL would wait
// for ever.

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "support/ChildProcess.h"
#include "support/Eventually.h"
#include "support/FileDescriptor.h"
#include "support/ProgramRun.h"
#include "support/TempDirectory.h"
#include "support/Xvfb.h"

using namespace VelmoTest;
using namespace std::chrono_literals;

namespace {

const char* const kSocket = "velmo-weston";

class WaylandWithoutSeat : public testing::Test
{
protected:
	void SetUp() override
	{
		chmod(fRuntime.Path().c_str(), 0700);
		// Headless: no input devices, so no seat.
		if (!fCompositor.Start("/usr/bin/weston",
		                       {"--backend=headless-backend.so", "--socket=" + std::string(kSocket),
		                        "--idle-time=0", "--shell=kiosk-shell.so"},
		                       {{"XDG_RUNTIME_DIR", fRuntime.Path()}}))
			GTEST_SKIP() << "weston cannot start";
		struct stat socketStat;
		if (!Eventually([&] { return stat(fRuntime.Join(kSocket).c_str(), &socketStat) == 0; },
		                20s))
			GTEST_SKIP() << "weston never made its socket";
	}

	ProgramRun::Options Options() const
	{
		ProgramRun::Options options;
		options.environment["BEOS_ROOT"] = fRoot.Path();
		options.environment["XDG_RUNTIME_DIR"] = fRuntime.Path();
		options.environment["WAYLAND_DISPLAY"] = kSocket;
		options.unsetEnvironment = {"BEOS_DISPLAY", "SDL_VIDEODRIVER", "DISPLAY"};
		return options;
	}

	void ExpectEnterToEndIt(ProgramRun& program)
	{
		program.Type("\r");
		ASSERT_TRUE(program.WaitForLine("  please wait   ", 20s)) << program.Output();
		ASSERT_TRUE(program.WaitForExit(20s)) << program.Output();
		EXPECT_TRUE(program.Exited()) << program.Output();
		EXPECT_EQ(program.ExitCode(), 0) << program.Output();
	}

	TempDirectory fRuntime{"velmo-wayland-runtime"};
	PlatformRootDirectory fRoot;
	ChildProcess fCompositor;
};

} // namespace

TEST_F(WaylandWithoutSeat, AloneTheProgramGoesOnWithTheTerminal)
{
	ProgramRun program(VelmoResetPath(), Options());
	ASSERT_TRUE(program.WaitForLine("sdl: the Wayland compositor offers no seat; going on without "
	                                "a screen, keys from the terminal",
	                                20s))
	    << program.Output();
	ASSERT_TRUE(program.WaitForLine("Insert CD, ENTER", 20s)) << program.Output();
	ExpectEnterToEndIt(program);
}

TEST_F(WaylandWithoutSeat, BesideAnXDisplayTheProgramTakesX11)
{
	std::string error;
	std::unique_ptr<Xvfb> server = Xvfb::Start(&error);
	ASSERT_NE(server, nullptr) << error;
	ProgramRun::Options options = Options();
	options.environment["SDL_VIDEODRIVER"] = "wayland";
	options.environment["DISPLAY"] = server->DisplayName();
	ProgramRun program(VelmoResetPath(), options);
	ASSERT_TRUE(program.WaitForLine("sdl: the Wayland compositor offers no seat; using X11 instead",
	                                20s))
	    << program.Output();
	ASSERT_TRUE(program.WaitForLine("Insert CD, ENTER", 20s)) << program.Output();
	std::string window;
	EXPECT_TRUE(Eventually(
	    [&] {
		    return server->Run({"xdotool", "search", "--onlyvisible", "--pid",
		                        std::to_string(program.Pid())},
		                       &window);
	    },
	    20s));
	ASSERT_TRUE(server->Run({"xdotool", "key", "Return"}, nullptr, &error)) << error;
	ASSERT_TRUE(program.WaitForLine("  please wait   ", 20s)) << program.Output();
	ASSERT_TRUE(program.WaitForExit(20s)) << program.Output();
	EXPECT_EQ(program.ExitCode(), 0) << program.Output();
}

TEST(WaylandCompositorThatNeverAnswers, IsGivenUpAfterAMomentForTheTerminal)
{
	TempDirectory runtime("velmo-wayland-runtime");
	chmod(runtime.Path().c_str(), 0700);
	// The kernel takes the connection into the socket's backlog; nobody ever reads or answers.
	const BPrivate::FileDescriptor silent(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
	ASSERT_TRUE(silent.IsValid());
	sockaddr_un address = {};
	address.sun_family = AF_UNIX;
	snprintf(address.sun_path, sizeof(address.sun_path), "%s", runtime.Join(kSocket).c_str());
	ASSERT_EQ(bind(silent.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
	ASSERT_EQ(listen(silent.Get(), 4), 0);

	PlatformRootDirectory root;
	ProgramRun::Options options;
	options.environment["BEOS_ROOT"] = root.Path();
	options.environment["XDG_RUNTIME_DIR"] = runtime.Path();
	options.environment["WAYLAND_DISPLAY"] = kSocket;
	options.unsetEnvironment = {"BEOS_DISPLAY", "SDL_VIDEODRIVER", "DISPLAY"};
	ProgramRun program(VelmoResetPath(), options);
	EXPECT_TRUE(program.WaitForLine("sdl: the Wayland compositor does not answer; going on without "
	                                "a screen, keys from the terminal",
	                                20s))
	    << program.Output();
	ASSERT_TRUE(program.WaitForLine("Insert CD, ENTER", 20s)) << program.Output();
	program.Type("\r");
	ASSERT_TRUE(program.WaitForLine("  please wait   ", 20s)) << program.Output();
	ASSERT_TRUE(program.WaitForExit(20s)) << program.Output();
	EXPECT_EQ(program.ExitCode(), 0) << program.Output();
}
