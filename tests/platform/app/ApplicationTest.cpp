#include <Application.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <Message.h>
#include <OS.h>
#include <View.h>
#include <Window.h>

#include "interface/Display.h"
#include "interface/headless/HeadlessDisplay.h"
#include "platform/app/HeadlessApplication.h"
#include "support/Eventually.h"

namespace {

const char* kSignature = "application/x-vnd.test-app";

// Records the order of its hooks.
class RecordingApplication : public BApplication
{
public:
	RecordingApplication() : BApplication(kSignature) {}

	void ReadyToRun() override
	{
		events.push_back("ready");
		if (onReady)
			onReady();
	}
	void MessageReceived(BMessage* message) override
	{
		if (message->what == 'LAST') {
			events.push_back("last");
			Quit();
			return;
		}
		if (message->what == 'SEQ ') {
			int32 thread = message->GetInt32("thread", -1);
			if (message->GetInt32("n", -1) != next[thread])
				outOfOrder = true;
			next[thread]++;
			if (++received == expected)
				Quit();
			return;
		}
		events.push_back(std::to_string(message->what));
		BApplication::MessageReceived(message);
	}

	std::vector<std::string> events;
	std::function<void()> onReady;
	std::map<int32, int32> next;
	int received = 0;
	int expected = -1;
	bool outOfOrder = false;
};

// Whether the kernel services still count `thread` as a live thread: a thread's record stays
// live until its last thread-local destructor, the one that retires it, has run; joining it
// waits for that.
bool IsLiveThread(thread_id thread)
{
	thread_info info;
	return get_thread_info(thread, &info) != B_BAD_THREAD_ID;
}

// Whether Linux still lists the task `tid` of this process. A joined thread's entry can outlive
// the join for a moment: Linux wakes the joiner when it clears the thread's id, before it
// releases the task.
bool TaskExists(pid_t tid)
{
	struct stat status;
	return stat(("/proc/self/task/" + std::to_string(tid)).c_str(), &status) == 0;
}

class Application : public testing::Test
{
protected:
	void SetUp() override { UseHeadlessDisplay(); }
};

} // namespace

TEST_F(Application, ConstructionSetsBeAppAndItsMessengerAndDestructionClearsThem)
{
	EXPECT_EQ(nullptr, be_app);
	{
		RecordingApplication application;
		EXPECT_EQ(&application, be_app);
		EXPECT_TRUE(be_app_messenger.IsValid());
		ASSERT_NE(nullptr, BPrivate::ApplicationDisplay());
		EXPECT_STREQ("headless", BPrivate::ApplicationDisplay()->Name());
		EXPECT_STREQ(kSignature, application.Signature());
	}
	EXPECT_EQ(nullptr, be_app);
	EXPECT_EQ(nullptr, BPrivate::ApplicationDisplay());
	EXPECT_FALSE(be_app_messenger.IsValid());
}

TEST_F(Application, ReadyToRunComesOnceAndBeforeMessagesPostedEarlier)
{
	RecordingApplication application;
	application.PostMessage(1);
	be_app_messenger.SendMessage(2);
	application.PostMessage('LAST');
	RunWatchdog watchdog(&application);
	application.Run();
	watchdog.Stop();
	EXPECT_FALSE(watchdog.Fired());
	EXPECT_EQ((std::vector<std::string>{"ready", "1", "2", "last"}), application.events);
}

TEST_F(Application, MessagesFromSeveralThreadsKeepEachThreadsOrder)
{
	RecordingApplication application;
	const int kThreads = 4;
	const int kEach = 300;
	application.expected = kThreads * kEach;
	std::vector<std::thread> posters;
	application.onReady = [&] {
		for (int t = 0; t < kThreads; t++) {
			posters.emplace_back([t] {
				for (int n = 0; n < kEach; n++) {
					BMessage message('SEQ ');
					message.AddInt32("thread", t);
					message.AddInt32("n", n);
					be_app_messenger.SendMessage(&message);
				}
			});
		}
	};
	RunWatchdog watchdog(&application);
	application.Run();
	watchdog.Stop();
	for (std::thread& poster : posters)
		poster.join();
	EXPECT_FALSE(watchdog.Fired());
	EXPECT_EQ(kThreads * kEach, application.received);
	EXPECT_FALSE(application.outOfOrder);
}

TEST_F(Application, AMessagePostedToAnIdleLoopIsHandled)
{
	// The loop is asleep in the display when the message comes: the post must wake it.
	RecordingApplication application;
	std::thread poster;
	application.onReady = [&] {
		poster = std::thread([] {
			std::this_thread::sleep_for(std::chrono::milliseconds(200));
			be_app_messenger.SendMessage('LAST');
		});
	};
	RunWatchdog watchdog(&application, std::chrono::seconds(10));
	application.Run();
	watchdog.Stop();
	poster.join();
	EXPECT_FALSE(watchdog.Fired());
	EXPECT_EQ((std::vector<std::string>{"ready", "last"}), application.events);
}

TEST_F(Application, QuitRequestedMessageEndsRun)
{
	RecordingApplication application;
	application.PostMessage(B_QUIT_REQUESTED);
	RunWatchdog watchdog(&application);
	application.Run();
	watchdog.Stop();
	EXPECT_FALSE(watchdog.Fired());
}

namespace {

struct ViewRecord
{
	std::atomic<bool> destroyed{false};
	std::atomic<thread_id> windowThread{-1}; // the kernel's id
	std::atomic<pid_t> windowTask{0};        // Linux's
	std::atomic<bool> windowThreadAliveAtDestruction{true};
};

// Made on the window's thread, gone with it: holds up the end of that thread for a moment, after
// its loop has returned and before the kernel retires its record (thread-local destructors run
// in the reverse order of construction, and this one is made after the record). A Run that
// returned without joining the thread would find it still live, every time rather than only when
// the scheduler happened to be slow; a Run that joins it only waits that much longer.
struct SlowThreadEnd
{
	~SlowThreadEnd() { std::this_thread::sleep_for(std::chrono::milliseconds(100)); }
};

class TrackedView : public BView
{
public:
	TrackedView(ViewRecord* record)
	    : BView(BRect(0, 0, 9, 9), "tracked", B_FOLLOW_NONE, B_WILL_DRAW), fRecord(record)
	{
	}
	~TrackedView() override
	{
		fRecord->windowThreadAliveAtDestruction = IsLiveThread(fRecord->windowThread);
		fRecord->destroyed = true;
	}
	// The first show's Draw, on the window's thread: the application may quit now.
	void Draw(BRect) override
	{
		fRecord->windowThread = find_thread(NULL);
		fRecord->windowTask = gettid();
		thread_local SlowThreadEnd slowEnd;
		be_app_messenger.SendMessage(B_QUIT_REQUESTED);
	}

private:
	ViewRecord* fRecord;
};

class QuitOnReady : public BApplication
{
public:
	QuitOnReady(ViewRecord* record) : BApplication(kSignature), fRecord(record)
	{
		BWindow* window = new BWindow(BRect(0, 0, 99, 99), "tracked", B_BORDERED_WINDOW, 0);
		window->AddChild(new TrackedView(fRecord));
		window->Show();
	}

private:
	ViewRecord* fRecord;
};

} // namespace

TEST_F(Application, RunClosesEveryWindowAndJoinsItsThreadBeforeReturning)
{
	ViewRecord record;
	{
		QuitOnReady application(&record);
		EXPECT_EQ(1, application.CountWindows());
		RunWatchdog watchdog(&application);
		application.Run();
		watchdog.Stop();
		EXPECT_FALSE(watchdog.Fired());
		// Before the application object goes: Run() itself closed the window.
		EXPECT_TRUE(record.destroyed);
		EXPECT_EQ(0, application.CountWindows());
		EXPECT_EQ(nullptr, application.WindowAt(0));
		ASSERT_GT(record.windowThread.load(), 0);
		EXPECT_FALSE(IsLiveThread(record.windowThread)) << "Run returned before the thread ended";
		// And Linux lets the task go soon after: nothing of the thread is left behind.
		EXPECT_TRUE(VelmoTest::Eventually([&] { return !TaskExists(record.windowTask); },
		                                  std::chrono::seconds(10), std::chrono::milliseconds(1)));
	}
	// The view was deleted after the window's thread had been joined.
	EXPECT_FALSE(record.windowThreadAliveAtDestruction);
}

TEST_F(Application, SeveralApplicationsCanRunOneAfterAnother)
{
	for (int round = 0; round < 3; round++) {
		ViewRecord record;
		QuitOnReady application(&record);
		RunWatchdog watchdog(&application);
		application.Run();
		watchdog.Stop();
		EXPECT_FALSE(watchdog.Fired());
		EXPECT_TRUE(record.destroyed);
	}
	EXPECT_EQ(nullptr, be_app);
}

TEST_F(Application, HideCursorNestsAndReachesTheDisplay)
{
	RecordingApplication application;
	auto* display = dynamic_cast<BPrivate::HeadlessDisplay*>(BPrivate::ApplicationDisplay());
	ASSERT_NE(nullptr, display);
	EXPECT_FALSE(display->IsCursorHidden());
	application.HideCursor();
	application.HideCursor();
	EXPECT_TRUE(display->IsCursorHidden());
	application.ShowCursor();
	EXPECT_TRUE(application.IsCursorHidden());
	EXPECT_TRUE(display->IsCursorHidden());
	application.ShowCursor();
	EXPECT_FALSE(display->IsCursorHidden());
	application.ShowCursor();
	EXPECT_FALSE(application.IsCursorHidden());
}

TEST_F(Application, StandardOutputIsLineBufferedSoLinesSurviveAKill)
{
	int output[2];
	ASSERT_EQ(0, pipe(output));
	pid_t child = fork();
	ASSERT_GE(child, 0);
	if (child == 0) {
		dup2(output[1], STDOUT_FILENO);
		close(output[0]);
		// Used before the application exists, while fully buffered: the switch to line
		// buffering must still take.
		printf("early line\n");
		{
			BApplication application(kSignature);
			printf("first line\n");
			printf("second line\n");
			// Nothing flushes: a killed process keeps only what was written already.
			raise(SIGKILL);
		}
		_exit(1);
	}
	close(output[1]);
	std::string text;
	char buffer[256];
	ssize_t count;
	while ((count = read(output[0], buffer, sizeof(buffer))) > 0)
		text.append(buffer, count);
	close(output[0]);
	int status = 0;
	ASSERT_EQ(child, waitpid(child, &status, 0));
	EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
	EXPECT_EQ("early line\nfirst line\nsecond line\n", text);
}
