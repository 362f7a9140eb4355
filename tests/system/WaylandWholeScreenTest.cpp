// The real program on real Wayland compositors run headless: sway (which would tile the window with
// a title bar) at 1920 x 1080 and cage (a kiosk compositor, 1280 x 720). Real screenshots (grim), a
// real key from a virtual keyboard (wtype) under sway and the simulated unit's ENTER under cage,
// which offers no virtual keyboard.

#include <chrono>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "support/Eventually.h"
#include "support/ImageFiles.h"
#include "support/DrawnQuestion.h"
#include "support/PaintedQuestion.h"
#include "support/ProgramRun.h"
#include "support/RemoteUnitRig.h"
#include "support/TempDirectory.h"
#include "support/WaylandCompositor.h"

using namespace VelmoTest;
using namespace std::chrono_literals;

namespace {

// Where the screenshot does not show the question as the program paints it at the output's
// top-left corner: the logo exactly at (412, 284), the question's text in the text area as the
// view draws it, black everywhere else on the whole output. Empty when it does.
std::string WhereNotAsPainted(const ImageFiles::Image& image, const ImageFiles::Image& logo,
                              const ImageFiles::Image& text)
{
	PaintedQuestion painted(logo, text);
	for (int32_t y = 0; y < image.height; y++) {
		for (int32_t x = 0; x < image.width; x++) {
			const std::string where = painted.WhereNot(x, y, image.At(x, y) & 0xffffff);
			if (!where.empty())
				return where;
		}
	}
	return "";
}

class WaylandWholeScreen : public testing::Test
{
protected:
	void StartCompositor(WaylandCompositor::Kind kind)
	{
		std::string error;
		fCompositor = WaylandCompositor::Start(kind, &error);
		if (fCompositor == nullptr)
			GTEST_SKIP() << "the compositor cannot start: " << error;
		fLogo = ImageFiles::Pattern(200, 150);
	}

	ProgramRun::Options ProgramOptions(const PlatformRootDirectory& root) const
	{
		ProgramRun::Options options;
		options.environment = fCompositor->ClientEnvironment();
		options.environment["BEOS_ROOT"] = root.Path();
		options.unsetEnvironment = {"BEOS_DISPLAY", "SDL_VIDEODRIVER", "DISPLAY"};
		// Under AddressSanitizer: SDL 2.26 draws a Wayland window through GL only, and Mesa's
		// driver, unloaded at SDL_Quit, leaves memory that LeakSanitizer can no longer trace to
		// a library, so no suppression can name it. The display's own code is leak-checked
		// by the X tests, where SDL draws without GL.
		options.environment["LSAN_OPTIONS"] = "detect_leaks=0";
		return options;
	}

	// Takes screenshots until one shows the question as painted on the whole output, which must
	// be `width` x `height`.
	void ExpectTheQuestionOnABlackScreen(int32_t width, int32_t height)
	{
		std::string why = "no screenshot";
		const bool shown = Eventually([&] {
			ImageFiles::Image image;
			if (!fCompositor->Screenshot(&image, &why))
				return false;
			if (image.width != width || image.height != height) {
				why = "the output is " + std::to_string(image.width) + " x " +
				      std::to_string(image.height);
				return false;
			}
			why = WhereNotAsPainted(image, fLogo, fQuestion);
			return why.empty();
		}, 20s);
		EXPECT_TRUE(shown) << why << "\nthe compositor's log ends:\n" << fCompositor->LogTail();
	}

	// Starts a compositor of `kind`, then the simulated unit and the program beside it, and waits
	// until the unit is known and the question asked. Null when the case was skipped (the
	// compositor cannot start) or has failed.
	ProgramRun* AskBesideTheUnit(WaylandCompositor::Kind kind, RemoteUnitRig* rig)
	{
		StartCompositor(kind);
		if (fCompositor == nullptr)
			return nullptr;
		EXPECT_TRUE(ImageFiles::WriteBmp(rig->root.LogoPath(), fLogo, 24));
		std::string error;
		if (!rig->StartUnit(&error)) {
			ADD_FAILURE() << error;
			return nullptr;
		}
		ProgramRun& program = rig->StartProgram(ProgramOptions(rig->root));
		if (!program.WaitForLine(rig->ModelLine(), 20s) ||
		    !program.WaitForLine("Insert CD, ENTER", 20s)) {
			ADD_FAILURE() << program.Output();
			return nullptr;
		}
		return &program;
	}

	static void ExpectTheEnd(ProgramRun& program)
	{
		ASSERT_TRUE(program.WaitForLine("  please wait   ", 20s)) << program.Output();
		ASSERT_TRUE(program.WaitForExit(20s)) << program.Output();
		EXPECT_TRUE(program.Exited()) << program.Output();
		EXPECT_EQ(program.ExitCode(), 0) << program.Output();
	}

	std::unique_ptr<WaylandCompositor> fCompositor;
	ImageFiles::Image fLogo;
	// The text area as the view draws the question.
	const ImageFiles::Image fQuestion = DrawnTextArea("Remove floppy   ", "Insert CD, ENTER");
};

} // namespace

TEST_F(WaylandWholeScreen, UnderSwayTheWholeOutputIsBlackBesideTheFrameAndReturnEndsIt)
{
	ASSERT_NO_FATAL_FAILURE(StartCompositor(WaylandCompositor::Kind::kSway));
	if (IsSkipped())
		return;
	PlatformRootDirectory root;
	ASSERT_TRUE(ImageFiles::WriteBmp(root.LogoPath(), fLogo, 24));
	ProgramRun program(VelmoResetPath(), ProgramOptions(root));
	ASSERT_TRUE(program.WaitForLine("Insert CD, ENTER", 20s)) << program.Output();
	ExpectTheQuestionOnABlackScreen(1920, 1080);

	// The virtual keyboard first, the key once it is known: a keyboard that appears at the
	// moment of its key is a case of its own (see the README's limits).
	std::string error;
	ASSERT_TRUE(fCompositor->Run("/usr/bin/wtype", {"-s", "2500", "-k", "Return"}, &error))
	    << error;
	ExpectTheEnd(program);
}

// Not in the suite: under AddressSanitizer with the CPU loaded (stress-ng --cpu 2), cage's output
// stays black for the whole 20 s in about 3 runs of 10 (none of 16 once WAYLAND_DEBUG is set on
// either side, which changes the timing), while the program has printed the question. What
// differs is in cage's log: "Basic output test failed for HEADLESS-1" (wlroots 0.15 refusing an
// output commit) comes every 0.3 to 0.4 s for the whole wait, where a passing run has two to
// seven of them in its first second, while the window still commits 1024 x 768 buffers between
// asking for full screen and drawing at the output's 1280 x 720; they stop with the first buffer
// of the output's size. So cage never completes an output commit after the window appears; why it
// stays stuck there (wlroots' pending frame or the buffer's size) is not pinned down, and no
// event the test could wait on shows it. Run it by hand with --gtest_also_run_disabled_tests.
TEST_F(WaylandWholeScreen, DISABLED_UnderCageTheWholeOutputIsBlackBesideTheFrameAndTheUnitsEnterEndsIt)
{
	RemoteUnitRig rig;
	ProgramRun* asking = AskBesideTheUnit(WaylandCompositor::Kind::kCage, &rig);
	if (asking == nullptr)
		return;
	ProgramRun& program = *asking;
	// wlroots makes the headless output 1280 x 720, and cage cannot change it: the frame's
	// bottom rows are off the output, the logo and the text on it.
	ExpectTheQuestionOnABlackScreen(1280, 720);

	rig.unit.PressKey(UnitSim::Key::Enter);
	ExpectTheEnd(program);
}

TEST_F(WaylandWholeScreen, GoesOnWithoutAScreenWhenTheCompositorDiesAndTheUnitsEnterEndsIt)
{
	RemoteUnitRig rig;
	ProgramRun* asking = AskBesideTheUnit(WaylandCompositor::Kind::kSway, &rig);
	if (asking == nullptr)
		return;
	ProgramRun& program = *asking;
	// Asking, the screen painted: the moment a display goes away in.
	ExpectTheQuestionOnABlackScreen(1920, 1080);

	fCompositor->Kill();
	ASSERT_TRUE(program.WaitForLine(
	    "sdl: the connection to the screen is gone; going on without one, keys from the terminal",
	    20s))
	    << program.Output();
	rig.unit.PressKey(UnitSim::Key::Enter);
	ExpectTheEnd(program);
	EXPECT_TRUE(program.WaitForLine("Reset with mode = 0", 0ms)) << program.Output();
}

namespace {

// A keyboard plugged in at the moment of a key press: wtype makes its virtual keyboard and types
// at once.
bool TypeReturnOnANewKeyboard(const WaylandCompositor& compositor, std::string* error)
{
	return compositor.Run("/usr/bin/wtype", {"-k", "Return"}, error);
}

} // namespace

TEST_F(WaylandWholeScreen, UnderSwayWithXWaylandTheWholeOutputIsAsPaintedAndAKeyboardPluggedInAtAKeyCrashesNothing)
{
	std::string error;
	WaylandCompositor::Options options;
	options.xwayland = true;
	fCompositor = WaylandCompositor::Start(WaylandCompositor::Kind::kSway, options, &error);
	if (fCompositor == nullptr)
		GTEST_SKIP() << "the compositor cannot start: " << error;
	fLogo = ImageFiles::Pattern(200, 150);
	PlatformRootDirectory root;
	ASSERT_TRUE(ImageFiles::WriteBmp(root.LogoPath(), fLogo, 24));
	ProgramRun::Options programOptions = ProgramOptions(root);
	programOptions.environment["DISPLAY"] = fCompositor->XDisplay();
	programOptions.unsetEnvironment = {"BEOS_DISPLAY", "SDL_VIDEODRIVER"};
	ProgramRun program(VelmoResetPath(), programOptions);
	ASSERT_TRUE(program.WaitForLine("Insert CD, ENTER", 20s)) << program.Output();
	// sway stacks XWayland's override-redirect windows in the order they appear, whatever X
	// says: the black cover is mapped before the window so that it stays below it there too.
	ExpectTheQuestionOnABlackScreen(1920, 1080);
	EXPECT_EQ(program.Output().find("sdl:"), std::string::npos) << program.Output();

	// Through XWayland the new keyboard's key may be lost, but nothing crashes; with the
	// keyboard there before its key, the key counts.
	ASSERT_TRUE(TypeReturnOnANewKeyboard(*fCompositor, &error)) << error;
	if (!program.WaitForLine("  please wait   ", 3s)) {
		ASSERT_TRUE(fCompositor->Run("/usr/bin/wtype", {"-s", "2500", "-k", "Return"}, &error))
		    << error;
	}
	ExpectTheEnd(program);
}

// SDL 2.26's Wayland driver can crash in its keymap handling when a keyboard appears with its key
// (see the README's limits): this fails with it, and is run by hand
// (--gtest_also_run_disabled_tests) to see whether a newer SDL still does.
TEST_F(WaylandWholeScreen, DISABLED_UnderSwayAloneAKeyboardPluggedInAtAKeyNeverCrashesIt)
{
	ASSERT_NO_FATAL_FAILURE(StartCompositor(WaylandCompositor::Kind::kSway));
	if (IsSkipped())
		return;
	for (int round = 0; round < 8; round++) {
		PlatformRootDirectory root;
		ProgramRun program(VelmoResetPath(), ProgramOptions(root));
		ASSERT_TRUE(program.WaitForLine("Insert CD, ENTER", 20s)) << program.Output();
		std::string error;
		ASSERT_TRUE(TypeReturnOnANewKeyboard(*fCompositor, &error)) << error;
		if (!program.WaitForLine("  please wait   ", 3s)) {
			ASSERT_TRUE(
			    fCompositor->Run("/usr/bin/wtype", {"-s", "2500", "-k", "Return"}, &error))
			    << error;
		}
		ASSERT_TRUE(program.WaitForExit(20s)) << program.Output();
		ASSERT_TRUE(program.Exited()) << "round " << round << ": signal " << program.TermSignal();
	}
}
