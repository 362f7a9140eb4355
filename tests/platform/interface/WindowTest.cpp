#include <Window.h>

#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include <Application.h>
#include <Message.h>
#include <View.h>

#include "interface/Framebuffer.h"
#include "interface/WindowClient.h"
#include "platform/app/HeadlessApplication.h"

namespace {

const rgb_color kRed = {200, 0, 0, 255};
const rgb_color kGreen = {0, 180, 0, 255};
const rgb_color kBlack = {0, 0, 0, 255};
const uint32 kSync = 'SYNC';

// A view that records what its hooks saw, and lets the test wait for it.
class ProbeView : public BView
{
public:
	ProbeView(BRect frame, uint32 flags, bool* destroyed = nullptr)
	    : BView(frame, "probe", B_FOLLOW_NONE, flags), fDestroyed(destroyed)
	{
	}
	~ProbeView() override
	{
		if (fDestroyed != nullptr)
			*fDestroyed = true;
	}

	void Draw(BRect updateRect) override
	{
		std::lock_guard<std::mutex> lock(fMutex);
		draws.push_back(updateRect);
		fChanged.notify_all();
	}
	void Pulse() override
	{
		bool nested = Window()->Lock();
		std::lock_guard<std::mutex> lock(fMutex);
		nestedLockWorked = nested && Window()->CountLocks() == 2;
		pulseThread = gettid();
		pulses++;
		fChanged.notify_all();
		if (nested)
			Window()->Unlock();
	}
	void KeyDown(const char* bytes, int32 numBytes) override
	{
		std::lock_guard<std::mutex> lock(fMutex);
		keys.push_back(std::string(bytes, numBytes));
		fChanged.notify_all();
	}
	void MessageReceived(BMessage* message) override
	{
		if (message->what != kSync) {
			BView::MessageReceived(message);
			return;
		}
		std::lock_guard<std::mutex> lock(fMutex);
		syncs++;
		fChanged.notify_all();
	}

	template <typename Predicate> bool WaitFor(Predicate predicate)
	{
		std::unique_lock<std::mutex> lock(fMutex);
		return fChanged.wait_for(lock, std::chrono::seconds(10), predicate);
	}
	// Waits until the window has handled everything posted to it before.
	bool Sync()
	{
		int before;
		{
			std::lock_guard<std::mutex> lock(fMutex);
			before = syncs;
		}
		BMessage message(kSync);
		if (Window()->PostMessage(&message, this) != B_OK)
			return false;
		return WaitFor([&] { return syncs > before; });
	}

	std::vector<BRect> draws;
	std::vector<std::string> keys;
	// Pulses go on while the test looks.
	std::atomic<int> pulses{0};
	int syncs = 0;
	std::atomic<pid_t> pulseThread{0};
	std::atomic<bool> nestedLockWorked{false};

private:
	bool* fDestroyed;
	std::mutex fMutex;
	std::condition_variable fChanged;
};

class Window : public testing::Test
{
protected:
	void SetUp() override
	{
		UseHeadlessDisplay();
		fApplication = std::make_unique<BApplication>("application/x-vnd.test-window");
	}
	void TearDown() override { fApplication.reset(); }

	BWindow* NewWindow(const char* title = "probe")
	{
		return new BWindow(BRect(0, 0, 99, 99), title, B_BORDERED_WINDOW, 0, B_ALL_WORKSPACES);
	}

	std::unique_ptr<BApplication> fApplication;
};

rgb_color Pixel(BWindow* window, int32 x, int32 y)
{
	return BPrivate::FramebufferOf(*window).PixelAt(x, y);
}

} // namespace

TEST_F(Window, BoundsAreTheContentAreaAtTheOrigin)
{
	BWindow* window = new BWindow(BRect(100, 50, 1123, 817), "", B_BORDERED_WINDOW, 0);
	EXPECT_EQ(BRect(0, 0, 1023, 767), window->Bounds());
	EXPECT_EQ(BRect(100, 50, 1123, 817), window->Frame());
	EXPECT_EQ(1024, BPrivate::FramebufferOf(*window).Width());
	EXPECT_EQ(768, BPrivate::FramebufferOf(*window).Height());
	EXPECT_EQ(1, fApplication->CountWindows());
	EXPECT_EQ(window, fApplication->WindowAt(0));
}

TEST_F(Window, FirstShowFillsEachViewsColourAndCallsDrawOfDrawingViews)
{
	BWindow* window = NewWindow();
	ProbeView* drawing = new ProbeView(BRect(10, 10, 49, 49), B_WILL_DRAW);
	drawing->SetViewColor(kRed);
	ProbeView* silent = new ProbeView(BRect(60, 60, 69, 69), 0);
	silent->SetViewColor(kGreen);
	window->AddChild(drawing);
	window->AddChild(silent);
	window->Show();
	ASSERT_TRUE(silent->Sync());

	ASSERT_EQ(1u, drawing->draws.size());
	EXPECT_EQ(BRect(0, 0, 39, 39), drawing->draws[0]);
	EXPECT_TRUE(silent->draws.empty());
	EXPECT_EQ(kRed, Pixel(window, 10, 10));
	EXPECT_EQ(kRed, Pixel(window, 49, 49));
	EXPECT_EQ(kBlack, Pixel(window, 9, 10));
	EXPECT_EQ(kBlack, Pixel(window, 50, 49));
	EXPECT_EQ(kGreen, Pixel(window, 60, 60));
	EXPECT_EQ(kGreen, Pixel(window, 69, 69));
	EXPECT_EQ(kBlack, Pixel(window, 70, 69));
}

TEST_F(Window, TheThreadIsNamedAfterTheTitle)
{
	BWindow* window = NewWindow("probe");
	ProbeView* view = new ProbeView(BRect(0, 0, 9, 9), B_PULSE_NEEDED);
	window->AddChild(view);
	window->Show();
	ASSERT_TRUE(view->WaitFor([&] { return view->pulses > 0; }));
	std::ifstream comm("/proc/self/task/" + std::to_string(view->pulseThread.load()) + "/comm");
	std::string name;
	std::getline(comm, name);
	EXPECT_EQ("w>probe", name);
	EXPECT_EQ(view->pulseThread.load(), window->Thread());
}

TEST_F(Window, PulsesComeOnlyToViewsThatNeedThem)
{
	BWindow* window = NewWindow();
	ProbeView* pulsed = new ProbeView(BRect(0, 0, 9, 9), B_WILL_DRAW | B_PULSE_NEEDED);
	ProbeView* quiet = new ProbeView(BRect(10, 0, 19, 9), B_WILL_DRAW);
	ProbeView* nested = new ProbeView(BRect(0, 0, 4, 4), B_PULSE_NEEDED);
	quiet->AddChild(nested);
	window->AddChild(pulsed);
	window->AddChild(quiet);
	EXPECT_EQ(50000, window->PulseRate());
	window->Show();
	ASSERT_TRUE(pulsed->WaitFor([&] { return pulsed->pulses >= 5; }));
	ASSERT_TRUE(nested->WaitFor([&] { return nested->pulses >= 5; }));
	ASSERT_TRUE(quiet->Sync());
	EXPECT_EQ(0, quiet->pulses.load());
	EXPECT_EQ(window->Thread(), pulsed->pulseThread.load());
}

TEST_F(Window, LockNestsOnTheWindowsThreadAndOnAnother)
{
	BWindow* window = NewWindow();
	ProbeView* view = new ProbeView(BRect(0, 0, 9, 9), B_PULSE_NEEDED);
	window->AddChild(view);
	window->Show();
	ASSERT_TRUE(view->WaitFor([&] { return view->pulses > 0; }));
	EXPECT_TRUE(view->nestedLockWorked);

	ASSERT_TRUE(window->Lock());
	ASSERT_TRUE(window->Lock());
	EXPECT_EQ(2, window->CountLocks());
	EXPECT_EQ((thread_id)gettid(), window->LockingThread());
	window->Unlock();
	EXPECT_TRUE(window->IsLocked());
	window->Unlock();
	EXPECT_FALSE(window->IsLocked());
	// The window's thread goes on once the lock is free.
	int before = view->pulses.load();
	ASSERT_TRUE(view->WaitFor([&] { return view->pulses > before; }));
}

TEST_F(Window, KeysReachTheFocusViewInOrder)
{
	BWindow* window = NewWindow();
	ProbeView* other = new ProbeView(BRect(0, 0, 9, 9), 0);
	ProbeView* focus = new ProbeView(BRect(10, 0, 19, 9), 0);
	window->AddChild(other);
	window->AddChild(focus);
	focus->MakeFocus(true);
	EXPECT_EQ(focus, window->CurrentFocus());
	EXPECT_TRUE(focus->IsFocus());
	EXPECT_FALSE(other->IsFocus());
	window->Show();
	for (const char* text : {"a", "\xc3\xa9", "\n", "b"}) {
		BMessage key(B_KEY_DOWN);
		key.AddString("bytes", text);
		window->PostMessage(&key);
	}
	ASSERT_TRUE(focus->Sync());
	EXPECT_EQ((std::vector<std::string>{"a", "\xc3\xa9", "\n", "b"}), focus->keys);
	EXPECT_TRUE(other->keys.empty());
}

TEST_F(Window, QuitFromAnotherThreadDeletesTheWindowAndItsViews)
{
	bool destroyed = false;
	BWindow* window = NewWindow();
	window->AddChild(new ProbeView(BRect(0, 0, 9, 9), B_PULSE_NEEDED, &destroyed));
	window->Show();
	window->Lock();
	window->Quit();
	EXPECT_TRUE(destroyed);
	EXPECT_EQ(0, fApplication->CountWindows());
}

namespace {

class ReapingApplication : public BApplication
{
public:
	ReapingApplication() : BApplication("application/x-vnd.test-reap") {}
	void ReadyToRun() override { WindowAt(0)->PostMessage(B_QUIT_REQUESTED); }
	void MessageReceived(BMessage* message) override
	{
		if (message->what == 'GONE') {
			windowsWhenGone = CountWindows();
			Quit();
			return;
		}
		BApplication::MessageReceived(message);
	}
	int32 windowsWhenGone = -1;
};

class ReportingView : public BView
{
public:
	ReportingView() : BView(BRect(0, 0, 9, 9), "reporting", B_FOLLOW_NONE, 0) {}
	~ReportingView() override { be_app_messenger.SendMessage('GONE'); }
};

} // namespace

TEST_F(Window, AWindowThatQuitsItselfIsDeletedWhileTheApplicationRuns)
{
	fApplication.reset();
	ReapingApplication application;
	BWindow* window = NewWindow();
	window->AddChild(new ReportingView);
	window->Show();
	RunWatchdog watchdog(&application);
	application.Run();
	watchdog.Stop();
	EXPECT_FALSE(watchdog.Fired());
	EXPECT_EQ(0, application.windowsWhenGone);
}
