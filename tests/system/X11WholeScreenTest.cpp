// The real program owning a whole X screen larger than its window: one head of 1920 x 1080, two
// screens of a Xinerama server, two heads side by side (RandR monitors), with a window manager and
// without, a coloured desktop, and windows that take the focus opened before and after it. Real
// key events (xdotool), real screenshots (xwd), a real X server killed under it.

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/Eventually.h"
#include "support/ImageFiles.h"
#include "support/DrawnQuestion.h"
#include "support/PaintedQuestion.h"
#include "support/ProgramRun.h"
#include "support/RemoteUnitRig.h"
#include "support/TempDirectory.h"
#include "support/WindowManager.h"
#include "support/XKeyboardHolder.h"
#include "support/XTopTaker.h"
#include "support/Xvfb.h"
#include "support/Xwd.h"

using namespace VelmoTest;
using namespace std::chrono_literals;

namespace {

// The desktop's colour, which must not show anywhere while the program runs.
const char* const kDesktop = "#3070c0";

uint32_t Rgb(const Xwd& image, int32_t x, int32_t y)
{
	const rgb_color color = image.PixelAt(x, y);
	return uint32_t(color.red) << 16 | uint32_t(color.green) << 8 | color.blue;
}

// A screen's place in the root window.
struct Head
{
	int32_t x, y, width, height;
};

struct Layout
{
	const char* name;
	std::vector<std::string> screens;
	bool xinerama;
	// The heads, the primary first: the frame belongs at its top-left corner.
	std::vector<Head> heads;
	bool windowManager;
	// RandR monitors made on the screen, as `xrandr --setmonitor` takes them ("*" before the
	// name makes it the primary).
	std::vector<std::vector<std::string>> monitors = {};
};

// Where the screenshot does not show the question as the program paints it at the first head's
// top-left corner: the logo exactly at (412, 284) from there, the question's text in the text
// area as the view draws it, black everywhere else on every head. Empty when it does.
std::string WhereNotAsPainted(const Xwd& image, const std::vector<Head>& heads,
                              const ImageFiles::Image& logo, const ImageFiles::Image& text)
{
	PaintedQuestion painted(logo, text);
	const Head& primary = heads.front();
	for (const Head& head : heads) {
		if (image.Width() < head.x + head.width || image.Height() < head.y + head.height) {
			std::ostringstream where;
			where << "the screenshot is " << image.Width() << " x " << image.Height();
			return where.str();
		}
		for (int32_t y = head.y; y < head.y + head.height; y++) {
			for (int32_t x = head.x; x < head.x + head.width; x++) {
				const std::string where =
				    painted.WhereNot(x - primary.x, y - primary.y, Rgb(image, x, y));
				if (!where.empty())
					return where + " (at " + std::to_string(x) + ", " + std::to_string(y) +
					       " on the screen)";
			}
		}
	}
	return "";
}

class X11WholeScreen : public testing::TestWithParam<Layout>
{
protected:
	void SetUp() override
	{
		Xvfb::Options options;
		options.screens = GetParam().screens;
		options.xinerama = GetParam().xinerama;
		std::string error;
		fServer = Xvfb::Start(options, &error);
		if (fServer == nullptr)
			GTEST_SKIP() << "this X server cannot start: " << error;
		for (const std::vector<std::string>& monitor : GetParam().monitors) {
			std::vector<std::string> command = {"xrandr", "--setmonitor"};
			command.insert(command.end(), monitor.begin(), monitor.end());
			ASSERT_TRUE(fServer->Run(command, nullptr, &error)) << error;
		}
		if (!GetParam().monitors.empty()) {
			std::string monitors;
			ASSERT_TRUE(fServer->Run({"xrandr", "--listmonitors"}, &monitors, &error)) << error;
			ASSERT_NE(monitors.find("Monitors: " + std::to_string(GetParam().monitors.size())),
			          std::string::npos)
			    << monitors;
		}
		if (GetParam().windowManager) {
			ASSERT_NO_FATAL_FAILURE(StartWindowManager());
		}
		ASSERT_TRUE(fServer->Run({"xsetroot", "-solid", kDesktop}, nullptr, &error)) << error;
		fLogo = ImageFiles::Pattern(200, 150);
		ASSERT_TRUE(ImageFiles::WriteBmp(fRoot.LogoPath(), fLogo, 24));
	}

	void StartWindowManager()
	{
		std::string error;
		fWindowManager = WindowManager::Start(*fServer, &error);
		ASSERT_NE(fWindowManager, nullptr) << error;
	}

	ProgramRun::Options ProgramOptions() const
	{
		ProgramRun::Options options;
		options.environment["BEOS_ROOT"] = fRoot.Path();
		options.environment["DISPLAY"] = fServer->DisplayName();
		options.unsetEnvironment = {"BEOS_DISPLAY", "SDL_VIDEODRIVER", "WAYLAND_DISPLAY"};
		return options;
	}

	// Opens an editor (which takes the focus when it appears) at `geometry`, and waits until it
	// is mapped and has the focus.
	std::unique_ptr<Xvfb::Process> OpenEditor(const std::string& geometry)
	{
		// It sets no _NET_WM_PID: it is found by a title of its own.
		std::string title = "editor at " + geometry;
		// xdotool reads the title as a regular expression.
		std::replace(title.begin(), title.end(), '+', ' ');
		std::string error;
		std::unique_ptr<Xvfb::Process> editor =
		    fServer->Launch({"xedit", "-geometry", geometry, "-title", title}, &error);
		EXPECT_NE(editor, nullptr) << error;
		if (editor == nullptr)
			return nullptr;
		std::string window;
		EXPECT_TRUE(Eventually([&] {
			return fServer->Run({"xdotool", "search", "--onlyvisible", "--name", title}, &window);
		}, 20s)) << "the editor never appeared";
		// Without a window manager nobody hands it the keyboard: it takes it, as a program
		// the user starts by hand would.
		std::istringstream ids(window);
		std::string id;
		if (ids >> id)
			fServer->Run({"xdotool", "windowfocus", "--sync", id});
		return editor;
	}

	// Takes screenshots until one shows the question as painted on every head, at the top-left
	// corner of the first of `heads` (the layout's own unless given).
	void ExpectTheQuestionOnABlackScreen(const std::vector<Head>* heads = nullptr)
	{
		std::string why = "no screenshot";
		const bool shown = Eventually([&] {
			Xwd image;
			std::string error;
			if (!fServer->Screenshot(&image, &error)) {
				why = error;
				return false;
			}
			why = WhereNotAsPainted(image, heads ? *heads : GetParam().heads, fLogo, fQuestion);
			return why.empty();
		}, 20s);
		EXPECT_TRUE(shown) << why;
	}

	void ExpectReturnToEndIt()
	{
		// No focus given first: the program holds the keyboard whatever has the focus.
		std::string error;
		ASSERT_TRUE(fServer->Run({"xdotool", "key", "Return"}, nullptr, &error)) << error;
		ASSERT_TRUE(fProgram->WaitForLine("  please wait   ", 20s)) << fProgram->Output();
		ASSERT_TRUE(fProgram->WaitForExit(20s)) << fProgram->Output();
		EXPECT_TRUE(fProgram->Exited());
		EXPECT_EQ(fProgram->ExitCode(), 0) << fProgram->Output();
	}

	PlatformRootDirectory fRoot;
	std::unique_ptr<Xvfb> fServer;
	std::unique_ptr<WindowManager> fWindowManager;
	std::unique_ptr<ProgramRun> fProgram;
	ImageFiles::Image fLogo;
	// The text area as the view draws the question.
	const ImageFiles::Image fQuestion = DrawnTextArea("Remove floppy   ", "Insert CD, ENTER");
};

std::string LayoutName(const testing::TestParamInfo<Layout>& layout)
{
	return layout.param.name;
}

const Head kOneHead = {0, 0, 1920, 1080};
// Xvfb puts every screen of a Xinerama layout at the origin: the heads overlap, and the root is
// the larger.
const std::vector<Head> kTwoScreens = {{0, 0, 1920, 1080}, {0, 0, 1280, 1024}};
// Two heads truly side by side are two RandR monitors on one wide screen (Xvfb has one output a
// screen). The first one made takes the place of the output's own monitor.
const std::vector<std::string> kLeftMonitor = {"left", "1920/508x1080/286+0+0", "screen"};
const std::vector<std::string> kRightMonitor = {"right", "1920/508x1080/286+1920+0", "none"};
const Head kLeftHead = {0, 0, 1920, 1080};
const Head kRightHead = {1920, 0, 1920, 1080};
const Layout kTwoHeadsSideBySide = {"TwoHeadsSideBySide",
                                    {"3840x1080x24"},
                                    false,
                                    {kLeftHead, kRightHead},
                                    false,
                                    {{"*left", kLeftMonitor[1], kLeftMonitor[2]}, kRightMonitor}};

} // namespace

TEST_P(X11WholeScreen, IsBlackOutsideTheWindowAndKeepsItAboveAndTheKeyboardWhateverOpens)
{
	std::unique_ptr<Xvfb::Process> before = OpenEditor("400x300+1500+700");
	fProgram = std::make_unique<ProgramRun>(VelmoResetPath(), ProgramOptions());
	ASSERT_TRUE(fProgram->WaitForLine("Insert CD, ENTER", 20s)) << fProgram->Output();
	ExpectTheQuestionOnABlackScreen();

	std::unique_ptr<Xvfb::Process> after = OpenEditor("400x300+600+300");
	ExpectTheQuestionOnABlackScreen();
	ExpectReturnToEndIt();
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, X11WholeScreen,
    testing::Values(Layout{"OneHead", {"1920x1080x24"}, false, {kOneHead}, false},
                    Layout{"OneHeadUnderAWindowManager", {"1920x1080x24"}, false, {kOneHead}, true},
                    Layout{"TwoXineramaScreens",
                           {"1920x1080x24", "1280x1024x24"},
                           true,
                           kTwoScreens,
                           false},
                    kTwoHeadsSideBySide,
                    Layout{"TwoHeadsSideBySideThePrimaryRightUnderAWindowManager",
                           {"3840x1080x24"},
                           false,
                           {kRightHead, kLeftHead},
                           true,
                           {kLeftMonitor, {"*right", kRightMonitor[1], kRightMonitor[2]}}}),
    LayoutName);

namespace {

// The cases below need one layout only.
class X11WholeScreenOfOneHead : public X11WholeScreen
{
};

class X11WholeScreenOfTwoHeads : public X11WholeScreen
{
};

} // namespace

TEST_P(X11WholeScreenOfOneHead, TakesTheKeyboardOnceAnotherClientLetsItGo)
{
	XKeyboardHolder holder(fServer->DisplayName());
	ASSERT_TRUE(holder.Held());
	fProgram = std::make_unique<ProgramRun>(VelmoResetPath(), ProgramOptions());
	ASSERT_TRUE(fProgram->WaitForLine("Insert CD, ENTER", 20s)) << fProgram->Output();
	ExpectTheQuestionOnABlackScreen();
	std::unique_ptr<Xvfb::Process> editor = OpenEditor("400x300+600+300");
	holder.Release();
	// Keys typed before the program has the keyboard go to the editor; then it takes it.
	std::string error;
	ASSERT_TRUE(Eventually([&] {
		fServer->Run({"xdotool", "key", "Return"}, nullptr, &error);
		return fProgram->WaitForLine("  please wait   ", 200ms);
	}, 20s)) << fProgram->Output();
	ASSERT_TRUE(fProgram->WaitForExit(20s)) << fProgram->Output();
	EXPECT_EQ(fProgram->ExitCode(), 0) << fProgram->Output();
}

TEST_P(X11WholeScreenOfOneHead, GoesOnWithoutAScreenWhenTheXServerDiesAndTheUnitsEnterEndsIt)
{
	RemoteUnitRig rig;
	ASSERT_TRUE(ImageFiles::WriteBmp(rig.root.LogoPath(), fLogo, 24));
	std::string error;
	ASSERT_TRUE(rig.StartUnit(&error)) << error;
	ProgramRun::Options options = ProgramOptions();
	options.environment["BEOS_ROOT"] = rig.root.Path();
	ProgramRun& program = rig.StartProgram(options);
	ASSERT_TRUE(program.WaitForLine(rig.ModelLine(), 20s)) << program.Output();
	ASSERT_TRUE(program.WaitForLine("Insert CD, ENTER", 20s)) << program.Output();
	// Asking, the screen painted: the moment a display goes away in.
	ExpectTheQuestionOnABlackScreen();

	fServer->Kill();
	ASSERT_TRUE(program.WaitForLine(
	    "sdl: the connection to the screen is gone; going on without one, keys from the terminal",
	    20s))
	    << program.Output();
	EXPECT_FALSE(program.WaitForExit(300ms)) << program.Output();

	rig.unit.PressKey(UnitSim::Key::Enter);
	ASSERT_TRUE(program.WaitForLine("  please wait   ", 20s)) << program.Output();
	ASSERT_TRUE(program.WaitForExit(20s)) << program.Output();
	EXPECT_TRUE(program.Exited());
	EXPECT_EQ(program.ExitCode(), 0) << program.Output();
	EXPECT_TRUE(program.WaitForLine("Reset with mode = 0", 0ms));
	EXPECT_EQ(program.Output().find("X connection"), std::string::npos) << program.Output();
}

TEST_P(X11WholeScreenOfOneHead, GoesOnWithoutAScreenWhenTheXServerDiesAndTheTerminalsEnterEndsIt)
{
	fProgram = std::make_unique<ProgramRun>(VelmoResetPath(), ProgramOptions());
	ASSERT_TRUE(fProgram->WaitForLine("Insert CD, ENTER", 20s)) << fProgram->Output();
	ExpectTheQuestionOnABlackScreen();
	fServer->Kill();
	ASSERT_TRUE(fProgram->WaitForLine(
	    "sdl: the connection to the screen is gone; going on without one, keys from the terminal",
	    20s))
	    << fProgram->Output();
	fProgram->Type("\r");
	ASSERT_TRUE(fProgram->WaitForLine("  please wait   ", 20s)) << fProgram->Output();
	ASSERT_TRUE(fProgram->WaitForExit(20s)) << fProgram->Output();
	EXPECT_EQ(fProgram->ExitCode(), 0) << fProgram->Output();
}

TEST_P(X11WholeScreenOfOneHead, EndsWithStatusZeroWhenTheXServerDiesAfterTheResetIsRaised)
{
	fProgram = std::make_unique<ProgramRun>(VelmoResetPath(), ProgramOptions());
	ASSERT_TRUE(fProgram->WaitForLine("Insert CD, ENTER", 20s)) << fProgram->Output();
	ExpectTheQuestionOnABlackScreen();
	std::string error;
	ASSERT_TRUE(fServer->Run({"xdotool", "key", "Return"}, nullptr, &error)) << error;
	ASSERT_TRUE(fProgram->WaitForLine("Reset with mode = 0", 20s)) << fProgram->Output();
	// The program is shutting down its threads and its display now.
	fServer->Kill();
	ASSERT_TRUE(fProgram->WaitForExit(20s)) << fProgram->Output();
	EXPECT_TRUE(fProgram->Exited()) << fProgram->Output();
	EXPECT_EQ(fProgram->ExitCode(), 0) << fProgram->Output();
	EXPECT_EQ(fProgram->Output().find("X connection"), std::string::npos) << fProgram->Output();
}

TEST_P(X11WholeScreenOfOneHead, GoesOnWithoutAScreenWhenTheXServerDiesBeforeTheWindowIsUp)
{
	fProgram = std::make_unique<ProgramRun>(VelmoResetPath(), ProgramOptions());
	// Printed on the main thread after SDL has started and before it makes the window; the
	// window may be up by the time the server is gone all the same.
	ASSERT_TRUE(fProgram->WaitForLine(
	    "VelmoReset::ReadyToRun(): Checking if we need to terminate VelmoLaunch ...", 20s))
	    << fProgram->Output();
	fServer->Kill();
	ASSERT_TRUE(fProgram->WaitForLine(
	    "sdl: the connection to the screen is gone; going on without one, keys from the terminal",
	    20s))
	    << fProgram->Output();
	ASSERT_TRUE(fProgram->WaitForLine("Insert CD, ENTER", 20s)) << fProgram->Output();
	fProgram->Type("\r");
	ASSERT_TRUE(fProgram->WaitForLine("  please wait   ", 20s)) << fProgram->Output();
	ASSERT_TRUE(fProgram->WaitForExit(20s)) << fProgram->Output();
	EXPECT_EQ(fProgram->ExitCode(), 0) << fProgram->Output();
	EXPECT_EQ(fProgram->Output().find("X connection"), std::string::npos) << fProgram->Output();
}

TEST_P(X11WholeScreenOfOneHead, RaisesItsWindowAFewTimesASecondAtMostAgainstAnotherOnTop)
{
	fProgram = std::make_unique<ProgramRun>(VelmoResetPath(), ProgramOptions());
	ASSERT_TRUE(fProgram->WaitForLine("Insert CD, ENTER", 20s)) << fProgram->Output();
	ExpectTheQuestionOnABlackScreen();
	const char* const war = "sdl: another client keeps raising its window above the screen; "
	                        "raising ours again at most 4 times a second";
	XTopTaker rival(fServer->DisplayName());
	ASSERT_TRUE(rival.Connected());
	const auto start = Clock::now();
	bool said = false;
	while (!said && Clock::now() - start < 20s) {
		rival.Fight(500ms);
		said = fProgram->WaitForLine(war, 0ms);
	}
	const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
	EXPECT_TRUE(said) << fProgram->Output();
	// Each raise of the program restacks its two windows.
	EXPECT_LE(rival.OthersRestacks(), 2 * (4 * seconds + 2)) << seconds << " s";
	rival.Fight(1s);
	std::string error;
	ASSERT_TRUE(fServer->Run({"xdotool", "key", "Return"}, nullptr, &error)) << error;
	ASSERT_TRUE(fProgram->WaitForExit(20s)) << fProgram->Output();
	EXPECT_EQ(fProgram->ExitCode(), 0) << fProgram->Output();
	size_t count = 0;
	for (const std::string& line : fProgram->Texts())
		count += line == war;
	EXPECT_EQ(count, 1u) << fProgram->Output();
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, X11WholeScreenOfOneHead,
    testing::Values(Layout{"OneHeadUnderAWindowManager", {"1920x1080x24"}, false, {kOneHead},
                           true}),
    LayoutName);

// RandR makes the other head the primary while the question is up: the frame moves to it.
TEST_P(X11WholeScreenOfTwoHeads, FollowsThePrimaryHeadWhenRandRMovesIt)
{
	fProgram = std::make_unique<ProgramRun>(VelmoResetPath(), ProgramOptions());
	ASSERT_TRUE(fProgram->WaitForLine("Insert CD, ENTER", 20s)) << fProgram->Output();
	ExpectTheQuestionOnABlackScreen();

	std::string error;
	ASSERT_TRUE(fServer->Run({"xrandr", "--delmonitor", "right"}, nullptr, &error)) << error;
	ASSERT_TRUE(fServer->Run({"xrandr", "--setmonitor", "*right", kRightMonitor[1], "none"},
	                         nullptr, &error))
	    << error;
	const std::vector<Head> rightFirst = {kRightHead, kLeftHead};
	ExpectTheQuestionOnABlackScreen(&rightFirst);
	ExpectReturnToEndIt();
}

INSTANTIATE_TEST_SUITE_P(Layouts, X11WholeScreenOfTwoHeads, testing::Values(kTwoHeadsSideBySide),
                         LayoutName);
