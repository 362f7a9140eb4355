#include "interface/headless/HeadlessDisplay.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <Application.h>
#include <View.h>
#include <Window.h>

#include "platform/app/HeadlessApplication.h"
#include "support/ImageFiles.h"
#include "support/ImageScratchDirectory.h"

using BPrivate::HeadlessDisplay;

namespace {

class Headless : public testing::Test
{
protected:
	void SetUp() override { UseHeadlessDisplay(); }
};

bool Exists(const std::string& path)
{
	struct stat status;
	return stat(path.c_str(), &status) == 0;
}

// Waits (10 s at most) until the image at `path` has `pixel` at (x, y).
bool WaitForPixel(const std::string& path, int32 x, int32 y, uint32 pixel)
{
	const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
	while (std::chrono::steady_clock::now() < deadline) {
		if (Exists(path)) {
			ImageFiles::Image image = ImageFiles::Load(path);
			if (image.width > x && image.height > y && image.At(x, y) == pixel)
				return true;
		}
		std::this_thread::sleep_for(std::chrono::milliseconds(10));
	}
	return false;
}

} // namespace

TEST_F(Headless, DispatchWithNothingToDoWaitsUntilTheDeadline)
{
	HeadlessDisplay display;
	EXPECT_STREQ("headless", display.Name());
	EXPECT_FALSE(display.IsReadingTerminal());
	bigtime_t deadline = system_time() + 50000;
	display.Dispatch(deadline);
	EXPECT_GE(system_time(), deadline);
}

TEST_F(Headless, AWakeBeforeDispatchIsNotLost)
{
	HeadlessDisplay display;
	display.Wake();
	bigtime_t start = system_time();
	display.Dispatch(start + 30000000);
	EXPECT_LT(system_time() - start, 10000000);
}

TEST_F(Headless, AWakeFromAnotherThreadEndsAnUntimedDispatch)
{
	HeadlessDisplay display;
	std::thread waker([&] {
		std::this_thread::sleep_for(std::chrono::milliseconds(100));
		display.Wake();
	});
	bigtime_t start = system_time();
	display.Dispatch(start + 30000000);
	EXPECT_LT(system_time() - start, 10000000);
	waker.join();
}

TEST_F(Headless, CursorFollowsHideAndShow)
{
	HeadlessDisplay display;
	EXPECT_FALSE(display.IsCursorHidden());
	display.HideCursor();
	EXPECT_TRUE(display.IsCursorHidden());
	display.ShowCursor();
	EXPECT_FALSE(display.IsCursorHidden());
}

namespace {

class PaintedView : public BView
{
public:
	PaintedView() : BView(BRect(0, 0, 63, 47), "painted", B_FOLLOW_NONE, B_WILL_DRAW)
	{
		SetViewColor(200, 0, 0);
	}
	void Draw(BRect) override
	{
		SetHighColor(0, 0, 255);
		FillRect(BRect(0, 0, 3, 3));
	}
};

} // namespace

TEST_F(Headless, TheFirstWindowIsSavedAsAPngAtEachChange)
{
	ImageScratchDirectory directory;
	const std::string path = directory.File("screen.png");
	setenv("BEOS_FRAMEBUFFER_PNG", path.c_str(), 1);
	BApplication application("application/x-vnd.test-png");
	unsetenv("BEOS_FRAMEBUFFER_PNG");

	BWindow* window = new BWindow(BRect(0, 0, 63, 47), "png", B_BORDERED_WINDOW, 0);
	PaintedView* view = new PaintedView;
	window->AddChild(view);
	window->Show();

	bool firstSeen = false;
	bool changeSeen = false;
	std::thread checker([&] {
		// The first show: the view colour, and Draw's blue corner.
		firstSeen = WaitForPixel(path, 10, 10, 0xffc80000) && WaitForPixel(path, 0, 0, 0xff0000ff);
		if (firstSeen) {
			window->Lock();
			view->SetViewColor(0, 160, 0);
			view->Invalidate();
			window->Unlock();
			changeSeen = WaitForPixel(path, 10, 10, 0xff00a000);
		}
		be_app_messenger.SendMessage(B_QUIT_REQUESTED);
	});
	RunWatchdog watchdog(&application, std::chrono::seconds(30));
	application.Run();
	watchdog.Stop();
	checker.join();
	EXPECT_TRUE(firstSeen);
	EXPECT_TRUE(changeSeen);
	EXPECT_FALSE(Exists(path + ".tmp"));
	ImageFiles::Image image = ImageFiles::Load(path);
	EXPECT_EQ(64, image.width);
	EXPECT_EQ(48, image.height);
}
