// The installer thread in an application of its own, with the real kernel and message lines: the
// 24 hours nobody answers pass on the kernel's test clock.

#include "Installer.h"

#include <string.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include <Application.h>
#include <Message.h>
#include <OS.h>

#include "MessageLines.h"
#include "VelmoReset.h"
#include "kernel/TestClock.h"
#include "platform/app/HeadlessApplication.h"
#include "platform/kernel/KernelTesting.h"
#include "support/Eventually.h"

using BPrivate::AdvanceClockForTesting;
using KernelTesting::IsBlocked;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

const bigtime_t kHour = 3600LL * 1000000;
const std::chrono::seconds kPatience{10};

bool LinesAre(const char* line1, const char* line2)
{
	char shown1[kMessageLineSize];
	char shown2[kMessageLineSize];
	M_ReadMessage(shown1, shown2);
	return strcmp(shown1, line1) == 0 && strcmp(shown2, line2) == 0;
}

// Creates the key queue and the installer's quit semaphore and starts the installer, as the
// program's application does; takes the reset request and releases the installer, as it does at
// shut-down, then quits.
class InstallerApplication : public BApplication
{
public:
	InstallerApplication() : BApplication("application/x-vnd.test-installer") {}

	void ReadyToRun() override
	{
		keyQueue = create_port(16, "KeyQueue");
		quitInstallerRequested = create_sem(0, "quitInstallerRequested");
		installer = spawn_thread(Installer, "Installer", B_NORMAL_PRIORITY, nullptr);
		resume_thread(installer);
	}

	void MessageReceived(BMessage* message) override
	{
		if (message->what != kResetRequest) {
			BApplication::MessageReceived(message);
			return;
		}
		requests++;
		which = message->GetInt32("which", -1);
		release_sem(quitInstallerRequested);
		Quit();
	}

	std::atomic<thread_id> installer{-1};
	std::atomic<int> requests{0};
	std::atomic<int32> which{-1};
};

} // namespace

TEST(Installer, After24HoursWithoutAKeyItAnnouncesTheRebootAndRequestsTheReset)
{
	UseHeadlessDisplay();
	CaptureStdout();
	InstallerApplication application;
	std::atomic<bool> askedAndWaiting{false};
	std::atomic<bool> waitedAlmostADay{false};
	std::atomic<bool> announcedAfterADay{false};
	// Nobody presses anything: the clock is moved instead, once the installer waits for ENTER.
	std::thread absentOperator([&] {
		askedAndWaiting = VelmoTest::Eventually(
		    [&] {
			    return LinesAre("Remove floppy   ", "Insert CD, ENTER") &&
			           IsBlocked(application.installer);
		    },
		    kPatience, std::chrono::milliseconds(1));
		if (!askedAndWaiting)
			return;
		AdvanceClockForTesting(23 * kHour);
		waitedAlmostADay =
		    IsBlocked(application.installer) && LinesAre("Remove floppy   ", "Insert CD, ENTER");
		AdvanceClockForTesting(kHour);
		announcedAfterADay =
		    VelmoTest::Eventually([&] { return LinesAre("Rebooting VELMO ", "  please wait   "); },
		                          kPatience, std::chrono::milliseconds(1));
	});
	// The installer sleeps its 3 seconds of announcement in real time.
	RunWatchdog watchdog(&application, std::chrono::seconds(30));
	application.Run();
	watchdog.Stop();
	absentOperator.join();

	// Ended on its own, or the test has failed already: then it is not waited for.
	const bool installerEnded = VelmoTest::Eventually(
	    [&] {
		    thread_info info;
		    return get_thread_info(application.installer, &info) == B_BAD_THREAD_ID;
	    },
	    kPatience);
	status_t exitValue = B_ERROR;
	if (installerEnded) {
		EXPECT_EQ(wait_for_thread(application.installer, &exitValue), B_OK);
	}
	const std::string printed = GetCapturedStdout();
	EXPECT_TRUE(installerEnded);
	EXPECT_FALSE(watchdog.Fired());
	EXPECT_TRUE(askedAndWaiting);
	EXPECT_TRUE(waitedAlmostADay) << "gave up before 24 hours";
	EXPECT_TRUE(announcedAfterADay);
	EXPECT_EQ(application.requests, 1);
	EXPECT_EQ(application.which, 0);
	EXPECT_TRUE(installerRequestedReset);
	EXPECT_EQ(exitValue, 0);
	EXPECT_EQ(printed, "Installer running (default mode = 0)\n"
	                   "\nRemove floppy   \nInsert CD, ENTER\n\n"
	                   "\nRebooting VELMO \n  please wait   \n\n"
	                   "Installer exiting\n");

	delete_port(keyQueue.load());
	delete_sem(quitInstallerRequested);
	keyQueue = -1;
	quitInstallerRequested = -1;
}
