// The real program in a real window on a real X server (Xvfb), driven by real key events
// (xdotool) and looked at through real screenshots (xwd).

#include <signal.h>

#include <chrono>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "support/ImageFiles.h"
#include "support/ProgramRun.h"
#include "support/TempDirectory.h"
#include "support/WindowManager.h"
#include "support/Xvfb.h"
#include "support/Xwd.h"

using namespace VelmoTest;
using namespace std::chrono_literals;

namespace {

const uint32 kBlack = 0x000000;
const uint32 kPurple = 0x8442ff;

uint32
Rgb(const Xwd& image, int32 x, int32 y)
{
	rgb_color color = image.PixelAt(x, y);
	return (uint32)color.red << 16 | (uint32)color.green << 8 | color.blue;
}

bool
PurpleIn(const Xwd& image, int32 top, int32 bottom)
{
	for (int32 y = top; y <= bottom; y++) {
		for (int32 x = 320; x <= 704; x++) {
			if (Rgb(image, x, y) == kPurple)
				return true;
		}
	}
	return false;
}

// The first place, in the window's area, where two screenshots differ; empty if none.
std::string
FirstDifference(const Xwd& a, const Xwd& b)
{
	for (int32 y = 0; y < 768; y++) {
		for (int32 x = 0; x < 1024; x++) {
			if (Rgb(a, x, y) != Rgb(b, x, y)) {
				std::ostringstream where;
				where << "(" << x << ", " << y << ")";
				return where.str();
			}
		}
	}
	return "";
}

class X11Screen : public testing::Test {
protected:
	void SetUp() override
	{
		std::string error;
		fServer = Xvfb::Start(&error);
		ASSERT_NE(fServer, nullptr) << "no X server for the test: " << error;
		if (WithWindowManager()) {
			ASSERT_NO_FATAL_FAILURE(StartWindowManager());
		}
		fLogo = ImageFiles::Pattern(200, 150);
		ASSERT_TRUE(ImageFiles::WriteBmp(fRoot.LogoPath(), fLogo, 24));

		ProgramRun::Options options;
		options.environment["BEOS_ROOT"] = fRoot.Path();
		options.environment["DISPLAY"] = fServer->DisplayName();
		options.unsetEnvironment = {"BEOS_DISPLAY", "SDL_VIDEODRIVER", "WAYLAND_DISPLAY"};
		fProgram = std::make_unique<ProgramRun>(VelmoResetPath(), options);
		ASSERT_TRUE(fProgram->WaitForLine("Insert CD, ENTER", 20s)) << fProgram->Output();
		ASSERT_TRUE(FindWindow()) << fProgram->Output();
		ASSERT_TRUE(WaitForScreen([](const Xwd& image) { return PurpleIn(image, 610, 654); },
			&fQuestion));
	}

	virtual bool WithWindowManager() const { return false; }

	void StartWindowManager()
	{
		std::string error;
		fWindowManager = WindowManager::Start(*fServer, &error);
		ASSERT_NE(fWindowManager, nullptr) << error;
	}

	bool FindWindow()
	{
		const Clock::time_point deadline = Clock::now() + 20s;
		while (Clock::now() < deadline) {
			std::string output;
			if (fServer->Run({"xdotool", "search", "--onlyvisible", "--pid",
					std::to_string(fProgram->Pid())}, &output)) {
				std::istringstream ids(output);
				if (ids >> fWindow)
					return true;
			}
			std::this_thread::sleep_for(50ms);
		}
		return false;
	}

	// Takes screenshots until one satisfies `condition`, for a generous while.
	bool WaitForScreen(const std::function<bool(const Xwd&)>& condition, Xwd* image)
	{
		const Clock::time_point deadline = Clock::now() + 20s;
		while (Clock::now() < deadline) {
			if (fServer->Screenshot(image) && image->Width() >= 1024 && image->Height() >= 768
				&& condition(*image))
				return true;
			std::this_thread::sleep_for(20ms);
		}
		return false;
	}

	// Presses and releases a key on the X keyboard, with the window focused. xdotool can fail
	// on a passing X error (a focus change still under way): it is tried a few times.
	bool Key(const std::string& key)
	{
		std::string error;
		for (int attempt = 0; attempt < 5; attempt++) {
			fServer->Run({"xdotool", "windowfocus", "--sync", fWindow}, nullptr, &error);
			if (fServer->Run({"xdotool", "key", "--clearmodifiers", key}, nullptr, &error))
				return true;
			std::this_thread::sleep_for(100ms);
		}
		ADD_FAILURE() << "xdotool key " << key << ": " << error;
		return false;
	}

	void ExpectResetAndExit()
	{
		ASSERT_TRUE(fProgram->WaitForExit(20s)) << fProgram->Output();
		EXPECT_TRUE(fProgram->Exited());
		EXPECT_EQ(fProgram->ExitCode(), 0) << fProgram->Output();
		EXPECT_TRUE(fProgram->WaitForLine("Reset with mode = 0", 0ms));
	}

	PlatformRootDirectory fRoot;
	std::unique_ptr<Xvfb> fServer;
	std::unique_ptr<WindowManager> fWindowManager;
	std::unique_ptr<ProgramRun> fProgram;
	ImageFiles::Image fLogo;
	std::string fWindow;
	Xwd fQuestion;
};

// The same, with a window manager that would decorate and place windows as it likes.
class X11ScreenUnderAWindowManager : public X11Screen {
protected:
	bool WithWindowManager() const override { return true; }
};

void
ExpectAtTheTopLeftCorner(const Xvfb& server, const std::string& window)
{
	std::string geometry;
	ASSERT_TRUE(server.Run({"xwininfo", "-id", window}, &geometry));
	EXPECT_NE(geometry.find("Absolute upper-left X:  0\n"), std::string::npos) << geometry;
	EXPECT_NE(geometry.find("Absolute upper-left Y:  0\n"), std::string::npos) << geometry;
	EXPECT_NE(geometry.find("Width: 1024\n"), std::string::npos) << geometry;
	EXPECT_NE(geometry.find("Height: 768\n"), std::string::npos) << geometry;
	EXPECT_NE(geometry.find("Border width: 0\n"), std::string::npos) << geometry;
}

} // namespace

TEST_F(X11Screen, TheWindowFillsTheTopLeft1024By768)
{
	ExpectAtTheTopLeftCorner(*fServer, fWindow);
}

TEST_F(X11ScreenUnderAWindowManager, TheWindowFillsTheTopLeft1024By768WithoutDecorations)
{
	ExpectAtTheTopLeftCorner(*fServer, fWindow);

	// Borderless: the window asks window managers for no decorations at all.
	std::string hints;
	ASSERT_TRUE(fServer->Run({"xprop", "-id", fWindow, "_MOTIF_WM_HINTS"}, &hints));
	EXPECT_NE(hints.find("= 0x2, 0x0"), std::string::npos) << hints;
	// And the screen shows it so: the question on black from the corner on.
	EXPECT_TRUE(PurpleIn(fQuestion, 559, 654));
	EXPECT_EQ(Rgb(fQuestion, 0, 0), kBlack);
}

TEST_F(X11Screen, ShowsTheLogoExactlyAndPurpleTextOnBlack)
{
	for (int32 y = 0; y < 768; y++) {
		for (int32 x = 0; x < 1024; x++) {
			bool inLogo = x >= 412 && x < 412 + 200 && y >= 284 && y < 284 + 150;
			bool inText = x >= 320 && x <= 704 && y >= 559 && y <= 654;
			if (inLogo) {
				ASSERT_EQ(Rgb(fQuestion, x, y), fLogo.At(x - 412, y - 284) & 0xffffff)
					<< "logo at " << x << ", " << y;
			} else if (!inText) {
				ASSERT_EQ(Rgb(fQuestion, x, y), kBlack) << "at " << x << ", " << y;
			}
		}
	}
	EXPECT_TRUE(PurpleIn(fQuestion, 559, 604));
}

TEST_F(X11Screen, ReturnIsAcceptedAndLettersAreNot)
{
	ASSERT_TRUE(Key("a"));
	ASSERT_TRUE(Key("b"));
	ASSERT_TRUE(Key("space"));
	EXPECT_FALSE(fProgram->WaitForLine("Rebooting VELMO ", 500ms));

	ASSERT_TRUE(Key("Return"));
	ASSERT_TRUE(fProgram->WaitForLine("  please wait   ", 20s)) << fProgram->Output();
	Xwd announcement;
	EXPECT_TRUE(WaitForScreen(
		[&](const Xwd& image) { return !FirstDifference(image, fQuestion).empty(); },
		&announcement));
	EXPECT_TRUE(PurpleIn(announcement, 610, 654));
	ExpectResetAndExit();
}

TEST_F(X11Screen, KeypadEnterIsAcceptedToo)
{
	ASSERT_TRUE(Key("KP_Enter"));
	ASSERT_TRUE(fProgram->WaitForLine("  please wait   ", 20s)) << fProgram->Output();
	ExpectResetAndExit();
}

TEST_F(X11Screen, AWindowOpenedLaterLeavesTheScreenAsItWas)
{
	std::string error;
	std::unique_ptr<Xvfb::Process> later =
		fServer->Launch({"xclock", "-geometry", "300x200+450+300", "-bg", "white"}, &error);
	ASSERT_NE(later, nullptr) << error;
	// It may show for a moment, until the program has raised its window again.
	ASSERT_TRUE(fServer->Run({"xdotool", "search", "--sync", "--onlyvisible", "--classname",
		"xclock"}, nullptr, &error)) << error;
	Xwd after;
	EXPECT_TRUE(WaitForScreen(
		[&](const Xwd& image) { return FirstDifference(image, fQuestion).empty(); }, &after))
		<< "still different at " << FirstDifference(after, fQuestion);

	ASSERT_TRUE(Key("Return"));
	ExpectResetAndExit();
}

TEST_F(X11Screen, SigtermWithTheWindowOpenEndsTheProgramAndTheWindow)
{
	fProgram->Signal(SIGTERM);
	ASSERT_TRUE(fProgram->WaitForExit(5s)) << fProgram->Output();
	EXPECT_TRUE(fProgram->Signaled());
	EXPECT_EQ(fProgram->TermSignal(), SIGTERM);
	EXPECT_EQ(fProgram->Output().find("Sanitizer"), std::string::npos) << fProgram->Output();

	std::string output;
	fServer->Run({"xdotool", "search", "--pid", std::to_string(fProgram->Pid())}, &output);
	EXPECT_EQ(output, "");
}
