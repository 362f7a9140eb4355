// The remote-unit thread against the simulated unit, with the real kernel and message lines.

#include "UserInterface.h"

#include <stdlib.h>

#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <OS.h>
#include <SerialPort.h>

#include "MessageLines.h"
#include "remoteBus.h"
#include "support/TempDirectory.h"
#include "unit-sim/UnitSimulator.h"

using testing::EndsWith;
using testing::HasSubstr;
using testing::StartsWith;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;
using VelmoTest::TempDirectory;

namespace {

const std::chrono::seconds kGenerous{5};
const bigtime_t kGenerousMicroseconds = 5000000;

UnitSim::Clock::time_point Deadline()
{
	return UnitSim::Clock::now() + kGenerous;
}

// The thread as the application runs it: key queue and quit semaphore made, priority 15. What it
// prints is captured from before it starts until it has ended.
class UserInterfaceThread : public testing::Test
{
protected:
	void SetUp() override
	{
		setenv("BEOS_ROOT", fRoot.Path().c_str(), 1);
		fRoot.MakeDirectories("dev/ports");
		keyQueue = create_port(16, "KeyQueue");
		quitUIRequested = create_sem(0, "quitUIRequested");
		ASSERT_GT(keyQueue.load(), 0);
		ASSERT_GT(quitUIRequested, 0);
	}

	void TearDown() override
	{
		if (fThread > 0) {
			release_sem(quitUIRequested);
			status_t result;
			wait_for_thread(fThread, &result);
		}
		if (fCapturing)
			GetCapturedStdout();
		delete_sem(quitUIRequested);
		delete_port(keyQueue.load());
		quitUIRequested = -1;
		keyQueue = -1;
		unsetenv("BEOS_ROOT");
	}

	void StartUnit()
	{
		fUnit = std::make_unique<UnitSim::UnitSimulator>(fRoot.Path(), "serial1");
		std::string error;
		ASSERT_TRUE(fUnit->Start(&error)) << error;
	}

	void StartThread()
	{
		CaptureStdout();
		fCapturing = true;
		fThread = spawn_thread(UserInterface, "UserInterface", B_DISPLAY_PRIORITY, nullptr);
		ASSERT_GT(fThread, 0);
		ASSERT_EQ(resume_thread(fThread), B_OK);
	}

	// Asks the thread to stop and waits for it; what it printed.
	std::string StopThread()
	{
		EXPECT_EQ(release_sem(quitUIRequested), B_OK);
		status_t result = -1;
		EXPECT_EQ(wait_for_thread(fThread, &result), B_OK);
		EXPECT_EQ(result, 0);
		fThread = -1;
		fCapturing = false;
		return GetCapturedStdout();
	}

	TempDirectory fRoot{"velmo-ui"};
	std::unique_ptr<UnitSim::UnitSimulator> fUnit;
	thread_id fThread = -1;
	bool fCapturing = false;
};

} // namespace

TEST_F(UserInterfaceThread, PollsButLeavesTheLcdAloneWhileLineOneIsEmpty)
{
	M_ShowMessage("", "");
	StartUnit();
	StartThread();
	ASSERT_TRUE(fUnit->WaitForPolls(5, Deadline()));
	EXPECT_EQ(fUnit->LcdFrameCount(), 0u);

	M_ShowMessage("Remove floppy   ", "Insert CD, ENTER");
	EXPECT_TRUE(fUnit->WaitForLcd("Remove floppy   ", "Insert CD, ENTER", Deadline()));
	// The whole LCD again on every pass, unchanged or not.
	uint64_t frames = fUnit->LcdFrameCount();
	EXPECT_TRUE(fUnit->WaitForLcdFrames(frames + 3, Deadline()));

	std::string output = StopThread();
	EXPECT_THAT(output, StartsWith("UserInterface running\nRB: Using serial port serial1\n"));
	EXPECT_THAT(output, HasSubstr("Detected Classic KM-3\n"));
	M_ShowMessage("", "");
}

TEST_F(UserInterfaceThread, TheUnitsEnterReachesTheKeyQueueAsTen)
{
	StartUnit();
	StartThread();
	// Past the reply that teaches the length, which yields no key.
	ASSERT_TRUE(fUnit->WaitForPolls(3, Deadline()));
	fUnit->PressKey(UnitSim::Key::Enter);

	int32 code = 0;
	char body;
	ASSERT_EQ(read_port_etc(keyQueue.load(), &code, &body, sizeof(body), B_RELATIVE_TIMEOUT,
	                        kGenerousMicroseconds),
	          0);
	EXPECT_EQ(code, 10);

	// Held for a few polls, pressed once.
	uint64_t polls = fUnit->PollCount();
	ASSERT_TRUE(fUnit->WaitForPolls(polls + 5, Deadline()));
	EXPECT_EQ(read_port_etc(keyQueue.load(), &code, &body, sizeof(body), B_RELATIVE_TIMEOUT, 0),
	          B_TIMED_OUT);
}

TEST_F(UserInterfaceThread, TheBackslashKeyReachesTheKeyQueueToo)
{
	StartUnit();
	StartThread();
	ASSERT_TRUE(fUnit->WaitForPolls(3, Deadline()));
	fUnit->PressKey(UnitSim::Key::Backslash);
	int32 code = 0;
	char body;
	ASSERT_EQ(read_port_etc(keyQueue.load(), &code, &body, sizeof(body), B_RELATIVE_TIMEOUT,
	                        kGenerousMicroseconds),
	          0);
	EXPECT_EQ(code, '\\');
}

TEST_F(UserInterfaceThread, AFullKeyQueueDropsKeysInsteadOfStallingThePolls)
{
	for (int key = 0; key < 16; key++)
		ASSERT_EQ(write_port(keyQueue.load(), 'x', nullptr, 0), B_OK);
	StartUnit();
	StartThread();
	ASSERT_TRUE(fUnit->WaitForPolls(3, Deadline()));
	fUnit->PressKey(UnitSim::Key::Enter);
	uint64_t polls = fUnit->PollCount();
	EXPECT_TRUE(fUnit->WaitForPolls(polls + 10, Deadline()));
}

TEST_F(UserInterfaceThread, OnQuitClosesThePortAndSaysSo)
{
	StartUnit();
	StartThread();
	ASSERT_TRUE(fUnit->WaitForPolls(2, Deadline()));
	BSerialPort other;
	EXPECT_EQ(other.Open("serial1"), B_BUSY);

	std::string output = StopThread();
	EXPECT_THAT(output, EndsWith("UserInterface exiting\n"));
	EXPECT_GT(other.Open("serial1"), 0);
}

TEST_F(UserInterfaceThread, WithoutAUnitItReportsTheFailedSendOnceAndStillStops)
{
	// The module's state as a fresh process has it, and no device at all.
	pollByte = 0;
	packetSize = 0;
	// Every pass polls before it looks at the semaphore: one pass at least, even when the stop
	// request is there at once.
	StartThread();
	std::string output = StopThread();
	// Its repeats, if any, are counted on standard error.
	EXPECT_EQ(output, "UserInterface running\nERROR sending byte 00\nUserInterface exiting\n");
}
