// The application object in this process: start-up, the reset request and its senders.

#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include <Message.h>
#include <Messenger.h>
#include <OS.h>

#include "Installer.h"
#include "MessageLines.h"
#include "VelmoReset.h"
#include "support/TempDirectory.h"
#include "support/Transcript.h"

using namespace VelmoTest;

namespace {

int
CountOf(const std::string& text, const std::string& part)
{
	int count = 0;
	for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
		count++;
	return count;
}

// Waits until the installer shows its question; false after a generous deadline.
bool
WaitForQuestion()
{
	const bigtime_t deadline = system_time() + 20000000;
	char line1[kMessageLineSize];
	char line2[kMessageLineSize];
	while (system_time() < deadline) {
		M_ReadMessage(line1, line2);
		if (strcmp(line2, "Insert CD, ENTER") == 0)
			return true;
		snooze(2000);
	}
	return false;
}

class VelmoResetTest : public testing::Test {
protected:
	void SetUp() override
	{
		setenv("BEOS_ROOT", fRoot.Path().c_str(), 1);
		setenv("BEOS_DISPLAY", "headless", 1);
		unsetenv("DISPLAY");
		installerRequestedReset = false;
	}

	// Runs a whole reset in this process while `during` acts from another thread once the
	// question is shown; returns what was printed.
	template<typename Action>
	std::string RunWhileAsking(Action during)
	{
		testing::internal::CaptureStdout();
		{
			VelmoReset application;
			std::thread actor([&] {
				if (WaitForQuestion())
					during();
				else
					M_WriteKey('\n');
			});
			application.Run();
			actor.join();
		}
		return testing::internal::GetCapturedStdout();
	}

	PlatformRootDirectory fRoot;
};

TEST_F(VelmoResetTest, RequestFromAnotherSenderWhileAskingConfirmsAndResetsOnce)
{
	std::string output = RunWhileAsking([] {
		BMessage request(kResetRequest);
		request.AddInt32("which", 7);
		be_app_messenger.SendMessage(&request);
	});

	EXPECT_EQ(CountOf(output, "Rebooting VELMO \n  please wait   \n"), 1) << output;
	EXPECT_EQ(CountOf(output, "Reset with mode = "), 1) << output;
	EXPECT_EQ(CountOf(output, "Reset with mode = 0\n"), 1) << output;
	EXPECT_EQ(CountOf(output, "Installer exiting\n"), 1) << output;
	EXPECT_EQ(CountOf(output, "UserInterface exiting\n"), 1) << output;
}

TEST_F(VelmoResetTest, DataMessageWithoutAWhichIntegerChangesNothing)
{
	std::string output = RunWhileAsking([] {
		BMessage noMode(kResetRequest);
		be_app_messenger.SendMessage(&noMode);
		BMessage wrongType(kResetRequest);
		wrongType.AddString("which", "0");
		be_app_messenger.SendMessage(&wrongType);
		BMessage otherCode('DATB');
		otherCode.AddInt32("which", 0);
		be_app_messenger.SendMessage(&otherCode);

		// Still asking: none of them was taken as a confirmation.
		snooze(300000);
		char line1[kMessageLineSize];
		char line2[kMessageLineSize];
		M_ReadMessage(line1, line2);
		EXPECT_STREQ(line2, "Insert CD, ENTER");
		M_WriteKey('\n');
	});

	EXPECT_EQ(CountOf(output, "Reset with mode = 0\n"), 1) << output;
	EXPECT_EQ(CountOf(output, "Reset with mode = "), 1) << output;
}

TEST_F(VelmoResetTest, EnterTypedBeforeTheQuestionIsShownIsStillAccepted)
{
	testing::internal::CaptureStdout();
	{
		VelmoReset application;
		std::thread typist([] {
			// As soon as the key queue exists, before or while the question is shown.
			const bigtime_t deadline = system_time() + 20000000;
			while (M_WriteKey('\n') != B_OK && system_time() < deadline)
				snooze(100);
		});
		application.Run();
		typist.join();
	}
	std::string output = testing::internal::GetCapturedStdout();
	EXPECT_EQ(CountOf(output, "Reset with mode = 0\n"), 1) << output;
}

TEST_F(VelmoResetTest, TerminateVelmoLaunchIsFalseWhenNothingRunsThatFile)
{
	EXPECT_FALSE(TerminateVelmoLaunch());
	unsetenv("BEOS_ROOT");
	setenv("BEOS_ROOT", "/nonexistent-velmo-root", 1);
	EXPECT_FALSE(TerminateVelmoLaunch());
}

} // namespace
