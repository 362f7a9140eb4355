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
#include "support/TempDirectory.h"

using BPrivate::HeadlessDisplay;

namespace {

class Headless : public testing::Test
{
protected:
	void SetUp() override { UseHeadlessDisplay(); }
};

// The inode of the file at `path` (0 when there is none): each snapshot is a new file renamed
// over the old one.
ino_t InodeOf(const std::string& path)
{
	struct stat status;
	return stat(path.c_str(), &status) == 0 ? status.st_ino : 0;
}

// Waits (10 s at most) until the file at `path` exists and is not `previous`.
bool WaitForNewFile(const std::string& path, ino_t previous)
{
	const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
	while (std::chrono::steady_clock::now() < deadline) {
		ino_t inode = InodeOf(path);
		if (inode != 0 && inode != previous)
			return true;
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
	VelmoTest::TempDirectory directory;
	const std::string path = directory.Join("screen.png");
	setenv("BEOS_FRAMEBUFFER_PNG", path.c_str(), 1);
	BApplication application("application/x-vnd.test-png");
	unsetenv("BEOS_FRAMEBUFFER_PNG");

	BWindow* window = new BWindow(BRect(0, 0, 63, 47), "png", B_BORDERED_WINDOW, 0);
	PaintedView* view = new PaintedView;
	window->AddChild(view);
	window->Show();

	// The images are decoded once the application has ended: SDL_image is not safe to use on
	// two threads at once, and the display saves on the main thread.
	bool changeSeen = false;
	std::thread checker([&] {
		if (WaitForNewFile(path, 0)) {
			ino_t firstInode = InodeOf(path);
			// Hard-linked, so that the next snapshot, renamed over it, leaves it be.
			link(path.c_str(), (path + ".first").c_str());
			window->Lock();
			view->SetViewColor(0, 160, 0);
			view->Invalidate();
			window->Unlock();
			changeSeen = WaitForNewFile(path, firstInode);
		}
		be_app_messenger.SendMessage(B_QUIT_REQUESTED);
	});
	RunWatchdog watchdog(&application, std::chrono::seconds(30));
	application.Run();
	watchdog.Stop();
	checker.join();

	// The first show: the view colour, and Draw's blue corner.
	ImageFiles::Image first = ImageFiles::Load(path + ".first");
	ASSERT_EQ(64, first.width);
	ASSERT_EQ(48, first.height);
	EXPECT_EQ(0xffc80000u, first.At(10, 10));
	EXPECT_EQ(0xff0000ffu, first.At(0, 0));
	ASSERT_TRUE(changeSeen);
	ImageFiles::Image changed = ImageFiles::Load(path);
	ASSERT_EQ(64, changed.width);
	EXPECT_EQ(0xff00a000u, changed.At(10, 10));
	EXPECT_EQ(0xff0000ffu, changed.At(0, 0));
	EXPECT_EQ(0u, InodeOf(path + ".tmp"));
}
