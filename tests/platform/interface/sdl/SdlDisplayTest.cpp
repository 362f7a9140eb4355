// The SDL display on a real X server (a private Xvfb), looked at and typed on as a person would:
// screenshots with xwd, keys with xdotool.

#include "interface/sdl/SdlDisplay.h"

#include <dlfcn.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <SDL.h>

#include "FakeDisplayClient.h"
#include "support/WindowManager.h"
#include "support/Xvfb.h"
#include "support/Xwd.h"

using BPrivate::CreateSdlDisplay;
using BPrivate::Display;
using BPrivate::Framebuffer;
using VelmoTest::Xvfb;
using VelmoTest::Xwd;
using namespace std::chrono_literals;

namespace {

const char* const kTitle = "SdlDisplayTest";
const BRect kScreenFrame(0, 0, 1023, 767);
constexpr rgb_color kPurple = {132, 66, 255, 255};
constexpr rgb_color kRed = {255, 0, 0, 255};
constexpr rgb_color kWhite = {255, 255, 255, 255};
constexpr rgb_color kGreen = {0, 200, 0, 255};

// Dispatches in short rounds until `condition` holds or `timeout` has passed.
bool PumpUntil(Display& display, const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = 10s)
{
	const auto deadline = std::chrono::steady_clock::now() + timeout;
	while (!condition()) {
		if (std::chrono::steady_clock::now() >= deadline)
			return false;
		display.Dispatch(system_time() + 20000);
	}
	return true;
}

// A thread's scheduler state ('R', 'S', ...) and its voluntary context switches, from /proc.
char ThreadState(pid_t thread)
{
	std::ifstream stat("/proc/self/task/" + std::to_string(thread) + "/stat");
	std::string line;
	std::getline(stat, line);
	const size_t end = line.rfind(')');
	return end != std::string::npos && end + 2 < line.size() ? line[end + 2] : '?';
}

long VoluntarySwitches()
{
	std::ifstream status("/proc/thread-self/status");
	std::string line;
	while (std::getline(status, line)) {
		if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
			return std::stol(line.substr(line.find(':') + 1));
	}
	return -1;
}

// SDL loads the GL driver for every session and unloads it at SDL_Quit, and the driver leaves a
// little memory behind each time, which LeakSanitizer can no longer trace to a library once it is
// unloaded (so no suppression could name it). A program starts SDL once; these tests start it
// once a test: the driver's libraries stay loaded until the process ends.
void KeepGraphicsLibrariesLoaded()
{
	std::ifstream maps("/proc/self/maps");
	std::set<std::string> paths;
	std::string line;
	while (std::getline(maps, line)) {
		const size_t path = line.find('/');
		if (path != std::string::npos && (line.find("/dri/", path) != std::string::npos ||
		                                  line.find("/libGL", path) != std::string::npos))
			paths.insert(line.substr(path));
	}
	for (const std::string& path : paths)
		dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

class SdlDisplayOnX : public ::testing::Test
{
protected:
	static void SetUpTestSuite()
	{
		std::string error;
		sServer = Xvfb::Start(&error).release();
		ASSERT_NE(sServer, nullptr) << "cannot start Xvfb: " << error;
	}

	static void TearDownTestSuite()
	{
		delete sServer;
		sServer = nullptr;
	}

	void SetUp() override
	{
		ASSERT_NE(sServer, nullptr);
		setenv("DISPLAY", sServer->DisplayName().c_str(), 1);
		unsetenv("WAYLAND_DISPLAY");
		unsetenv("SDL_VIDEODRIVER");
		fDisplay = CreateSdlDisplay();
		ASSERT_NE(fDisplay, nullptr);
	}

	void TearDown() override
	{
		if (fDisplay && fClient)
			fDisplay->RemoveClient(fClient.get());
		KeepGraphicsLibrariesLoaded();
		fDisplay.reset();
	}

	Xvfb& Server() { return *sServer; }

	void Fill(BRect rect, rgb_color color)
	{
		fClient->Framebuffer().FillRect(rect, color, fClient->Framebuffer().Bounds());
	}

	// Puts a 1024 x 768 window on the screen with a few coloured rectangles in it (reaching
	// every edge), and waits until the screen shows it.
	void ShowWindow()
	{
		fClient = std::make_unique<FakeDisplayClient>(kScreenFrame, kTitle);
		Fill(BRect(0, 0, 0, 0), kWhite);
		Fill(BRect(10, 20, 209, 119), kRed);
		Fill(BRect(300, 559, 704, 654), kPurple);
		Fill(BRect(1000, 700, 1023, 767), kGreen);
		fDisplay->AddClient(fClient.get());
		fDisplay->Invalidate(fClient.get());
		ASSERT_TRUE(WaitUntilScreenShowsFramebuffer()) << fMismatch;
	}

	// Whether a screenshot shows the framebuffer pixel for pixel at the window's place.
	bool ScreenShowsFramebuffer()
	{
		Xwd screen;
		std::string error;
		if (!Server().Screenshot(&screen, &error)) {
			fMismatch = error;
			return false;
		}
		const Framebuffer& framebuffer = fClient->Framebuffer();
		// One copy rather than a locked read a pixel: the sanitizer builds are slow enough.
		const int32 width = framebuffer.Width();
		std::vector<uint32> pixels(size_t(width) * size_t(framebuffer.Height()));
		framebuffer.CopyPixels(framebuffer.Bounds(), pixels.data(), width);
		int mismatches = 0;
		std::ostringstream report;
		for (int32 y = 0; y < framebuffer.Height(); y++) {
			for (int32 x = 0; x < width; x++) {
				const rgb_color shown = screen.PixelAt(x, y);
				const uint32 argb = pixels[size_t(y) * size_t(width) + size_t(x)];
				const rgb_color painted = {uint8(argb >> 16), uint8(argb >> 8), uint8(argb), 255};
				if (shown.red == painted.red && shown.green == painted.green &&
				    shown.blue == painted.blue)
					continue;
				if (mismatches++ == 0) {
					report << "(" << x << ", " << y << ") shows " << int(shown.red) << ","
					       << int(shown.green) << "," << int(shown.blue) << " for "
					       << int(painted.red) << "," << int(painted.green) << ","
					       << int(painted.blue);
				}
			}
		}
		report << "; " << mismatches << " pixels differ";
		fMismatch = report.str();
		return mismatches == 0;
	}

	bool WaitUntilScreenShowsFramebuffer()
	{
		return PumpUntil(*fDisplay, [this] { return ScreenShowsFramebuffer(); });
	}

	// Types with xdotool, then F12 as an end mark, and returns the keys the client got before
	// the mark: so that a key that came twice would show.
	std::vector<std::string> Type(std::vector<std::string> xdotool)
	{
		fClient->ClearKeys();
		xdotool.insert(xdotool.begin(), "xdotool");
		std::string error;
		EXPECT_TRUE(Server().Run(xdotool, nullptr, &error)) << error;
		// A command of its own: `xdotool type` would take it for more text. The server keeps
		// the order of the two.
		EXPECT_TRUE(Server().Run({"xdotool", "key", "F12"}, nullptr, &error)) << error;
		const std::string endMark(1, char(16));
		const bool marked = PumpUntil(*fDisplay, [this, &endMark] {
			const std::vector<std::string> keys = fClient->Keys();
			return !keys.empty() && keys.back() == endMark;
		});
		std::vector<std::string> keys = fClient->Keys();
		EXPECT_TRUE(marked) << "the end mark never came; " << keys.size() << " keys came";
		if (marked)
			keys.pop_back();
		return keys;
	}

	// The named X window's value for a line of `xwininfo` ("Width", "Absolute upper-left X").
	int WindowInfo(const std::string& field)
	{
		std::string output, error;
		EXPECT_TRUE(Server().Run({"xwininfo", "-name", kTitle}, &output, &error)) << error;
		const size_t at = output.find(field + ":");
		if (at == std::string::npos) {
			ADD_FAILURE() << "no " << field << " in " << output;
			return -1;
		}
		return atoi(output.c_str() + at + field.size() + 1);
	}

	static Xvfb* sServer;
	std::unique_ptr<Display> fDisplay;
	std::unique_ptr<FakeDisplayClient> fClient;
	std::string fMismatch;
};

Xvfb* SdlDisplayOnX::sServer = nullptr;

} // namespace

TEST_F(SdlDisplayOnX, UsesTheX11Driver)
{
	EXPECT_STREQ(fDisplay->Name(), "sdl:x11");
}

TEST_F(SdlDisplayOnX, PutsTheWindowAtItsFrame)
{
	ShowWindow();
	EXPECT_EQ(WindowInfo("Absolute upper-left X"), 0);
	EXPECT_EQ(WindowInfo("Absolute upper-left Y"), 0);
	EXPECT_EQ(WindowInfo("Width"), 1024);
	EXPECT_EQ(WindowInfo("Height"), 768);
	EXPECT_EQ(WindowInfo("Border width"), 0);
}

TEST_F(SdlDisplayOnX, StaysUndecoratedAtItsFrameUnderAWindowManager)
{
	std::string error;
	std::unique_ptr<VelmoTest::WindowManager> manager =
	    VelmoTest::WindowManager::Start(Server(), &error);
	ASSERT_NE(manager, nullptr) << error;

	ShowWindow();
	EXPECT_EQ(WindowInfo("Absolute upper-left X"), 0);
	EXPECT_EQ(WindowInfo("Absolute upper-left Y"), 0);
	EXPECT_EQ(WindowInfo("Width"), 1024);
	EXPECT_EQ(WindowInfo("Height"), 768);
	// What the window manager reads: no decorations at all (flags 2, decorations 0).
	std::string hints;
	EXPECT_TRUE(Server().Run({"xprop", "-name", kTitle, "_MOTIF_WM_HINTS"}, &hints, &error))
	    << error;
	EXPECT_NE(hints.find("= 0x2, 0x0, 0x0"), std::string::npos) << hints;
	EXPECT_EQ(Type({"key", "Return"}), std::vector<std::string>{"\n"});
	fDisplay->RemoveClient(fClient.get());
	fClient.reset();
}

TEST_F(SdlDisplayOnX, ShowsTheFramebufferPixelForPixel)
{
	ShowWindow();
	// Right of and below the window the screen is black: the window owns it all.
	Xwd screen;
	std::string error;
	ASSERT_TRUE(Server().Screenshot(&screen, &error)) << error;
	const rgb_color black = {0, 0, 0, 255};
	EXPECT_EQ(screen.PixelAt(1024, 710), black);
	EXPECT_EQ(screen.PixelAt(1010, 768), black);
	EXPECT_EQ(screen.PixelAt(1279, 1023), black);
}

TEST_F(SdlDisplayOnX, ShowsWhatIsPaintedLaterOnceItIsInvalidated)
{
	ShowWindow();
	Fill(BRect(500, 100, 599, 149), kWhite);
	Fill(BRect(20, 30, 29, 39), kGreen);
	fDisplay->Invalidate(fClient.get());
	EXPECT_TRUE(WaitUntilScreenShowsFramebuffer()) << fMismatch;
}

TEST_F(SdlDisplayOnX, LeavesDamageThatWasNotInvalidatedAlone)
{
	ShowWindow();
	Fill(BRect(500, 100, 599, 149), kWhite);
	fDisplay->Dispatch(system_time() + 50000);
	BRect damage;
	ASSERT_TRUE(fClient->Framebuffer().TakeDamage(&damage));
	EXPECT_EQ(damage, BRect(500, 100, 599, 149));
}

TEST_F(SdlDisplayOnX, StaysAboveAWindowOpenedLaterAndShowsTheFramebufferWithoutNewPaint)
{
	ShowWindow();
	std::string error;
	std::unique_ptr<Xvfb::Process> later = Server().Launch(
	    {"xlogo", "-geometry", "400x300+100+100", "-bg", "white", "-fg", "black"}, &error);
	ASSERT_NE(later, nullptr) << error;
	ASSERT_TRUE(PumpUntil(*fDisplay, [this] {
		return Server().Run({"xdotool", "search", "--onlyvisible", "--classname", "xlogo"});
	})) << "the later window never appeared";
	// It may have covered the window for a moment: what it hid is shown again from the
	// framebuffer, without the client painting anything.
	BRect damage;
	EXPECT_FALSE(fClient->Framebuffer().TakeDamage(&damage));
	EXPECT_TRUE(WaitUntilScreenShowsFramebuffer()) << fMismatch;
	// And the keyboard stays with the window.
	EXPECT_EQ(Type({"key", "Return"}), std::vector<std::string>{"\n"});
}

TEST_F(SdlDisplayOnX, ShowsTheFramebufferAgainWhenMappedAgain)
{
	ShowWindow();
	std::string error;
	ASSERT_TRUE(Server().Run(
	    {"xdotool", "search", "--name", kTitle, "windowunmap", "--sync", "windowmap", "--sync"},
	    nullptr, &error))
	    << error;
	BRect damage;
	EXPECT_FALSE(fClient->Framebuffer().TakeDamage(&damage));
	EXPECT_TRUE(WaitUntilScreenShowsFramebuffer()) << fMismatch;
	// The keyboard came back with it.
	EXPECT_EQ(Type({"key", "Return"}), std::vector<std::string>{"\n"});
}

TEST_F(SdlDisplayOnX, GivesEnterAsTheByteTen)
{
	ShowWindow();
	EXPECT_EQ(Type({"key", "Return"}), std::vector<std::string>{"\n"});
	EXPECT_EQ(Type({"key", "KP_Enter"}), std::vector<std::string>{"\n"});
}

TEST_F(SdlDisplayOnX, GivesKeysWithoutTextTheirBeOSBytes)
{
	ShowWindow();
	const std::vector<std::string> keys =
	    Type({"key", "Escape", "BackSpace", "Tab", "Left", "Right", "Up", "Down", "Insert",
	          "Delete", "Home", "End", "Prior", "Next", "F1"});
	const std::vector<std::string> expected = {"\x1b", "\x08", "\x09", "\x1c", "\x1d",
	                                           "\x1e", "\x1f", "\x05", "\x7f", "\x01",
	                                           "\x04", "\x0b", "\x0c", "\x10"};
	EXPECT_EQ(keys, expected);
}

TEST_F(SdlDisplayOnX, GivesEachTypedCharacterOnce)
{
	ShowWindow();
	EXPECT_EQ(Type({"type", "a"}), std::vector<std::string>{"a"});
	EXPECT_EQ(Type({"type", "A\\ 1"}), (std::vector<std::string>{"A", "\\", " ", "1"}));
}

TEST_F(SdlDisplayOnX, GivesTextOfSeveralCharactersOneCharacterACall)
{
	// An input method commits its text at once, in one text event. (xdotool cannot type a
	// character the keymap lacks reliably: it maps it to a spare key and back before SDL looks.)
	ShowWindow();
	fDisplay->Dispatch(0);
	SDL_Event event = {};
	event.text.type = SDL_TEXTINPUT;
	event.text.windowID = SDL_GetWindowID(SDL_GetKeyboardFocus());
	// é, €, a byte that is no UTF-8 (dropped), U+1F600, a.
	strcpy(event.text.text, "\xC3\xA9\xE2\x82\xAC\xFF\xF0\x9F\x98\x80"
	                        "a");
	fClient->ClearKeys();
	ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError();
	ASSERT_TRUE(PumpUntil(*fDisplay, [this] { return fClient->Keys().size() >= 4; }));
	EXPECT_EQ(fClient->Keys(),
	          (std::vector<std::string>{"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "a"}));
}

TEST_F(SdlDisplayOnX, HidesTheCursorUntilItIsShownAsOftenAsHidden)
{
	fDisplay->HideCursor();
	fDisplay->HideCursor();
	ShowWindow();
	EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
	fDisplay->ShowCursor();
	fDisplay->Dispatch(0);
	EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
	fDisplay->ShowCursor();
	fDisplay->Dispatch(0);
	EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
	// A show too many is not kept for later: one hide hides again.
	fDisplay->ShowCursor();
	fDisplay->HideCursor();
	fDisplay->Dispatch(0);
	EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
}

TEST_F(SdlDisplayOnX, RemovingTheClientTakesItsWindowAway)
{
	ShowWindow();
	fDisplay->RemoveClient(fClient.get());
	std::string error;
	EXPECT_FALSE(Server().Run({"xdotool", "search", "--name", kTitle}, nullptr, &error))
	    << "the window is still there";
	fClient.reset();
}

// Wakes `display` from another thread once the calling thread sleeps, and checks that the
// Dispatch it sleeps in returns; keeps waking (and fails) if one wake was not enough.
void ExpectWakeEndsAnEndlessDispatch(Display& display)
{
	const pid_t dispatcher = pid_t(syscall(SYS_gettid));
	std::mutex lock;
	std::condition_variable changed;
	bool woken = false;
	bool returned = false;
	std::thread waker([&] {
		const auto deadline = std::chrono::steady_clock::now() + 10s;
		while (ThreadState(dispatcher) != 'S' && std::chrono::steady_clock::now() < deadline)
			std::this_thread::yield();
		std::unique_lock<std::mutex> guard(lock);
		woken = true;
		display.Wake();
		if (!changed.wait_for(guard, 10s, [&] { return returned; })) {
			ADD_FAILURE() << "Dispatch went on sleeping after Wake";
			while (!returned) {
				display.Wake();
				changed.wait_for(guard, 100ms);
			}
		}
	});
	for (;;) {
		{
			std::lock_guard<std::mutex> guard(lock);
			if (woken) {
				returned = true;
				changed.notify_all();
				break;
			}
		}
		display.Dispatch(B_INFINITE_TIMEOUT);
	}
	waker.join();
}

TEST_F(SdlDisplayOnX, WakeFromAnotherThreadEndsAnEndlessDispatch)
{
	ShowWindow();
	ExpectWakeEndsAnEndlessDispatch(*fDisplay);
}

TEST_F(SdlDisplayOnX, WakeEndsAnEndlessDispatchBeforeAnyWindowExists)
{
	ExpectWakeEndsAnEndlessDispatch(*fDisplay);
}

TEST_F(SdlDisplayOnX, WaitsWithoutWakingUpAgainAndAgain)
{
	ShowWindow();
	// Whatever the new window still had to hear (focus, exposure) is heard first.
	for (int round = 0; round < 10; round++)
		fDisplay->Dispatch(system_time() + 20000);

	const long before = VoluntarySwitches();
	const bigtime_t deadline = system_time() + 300000;
	int rounds = 0;
	while (system_time() < deadline) {
		fDisplay->Dispatch(deadline);
		rounds++;
	}
	const long switches = VoluntarySwitches() - before;
	printf("a 300 ms wait took %d rounds and %ld voluntary context switches\n", rounds, switches);
	// Polling every millisecond would be some 300.
	EXPECT_LT(switches, 30);
}
