// Finding, opening and losing the remote unit's port, against real pseudo-terminals.

#include "remoteBus.h"

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include <SerialPort.h>

#include "support/PtyPair.h"
#include "support/TempDirectory.h"

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;
using VelmoTest::PtyPair;
using VelmoTest::TempDirectory;

namespace {

class RemoteBusLink : public testing::Test
{
protected:
	void SetUp() override
	{
		setenv("BEOS_ROOT", fRoot.Path().c_str(), 1);
		fRoot.MakeDirectories("dev/ports");
	}
	void TearDown() override
	{
		RB_Quit();
		unsetenv("BEOS_ROOT");
	}

	TempDirectory fRoot{"velmo-rembus-link"};
};

} // namespace

// The first failed byte is printed; the same failure repeated is counted on standard error, here
// when the port is closed.
TEST_F(RemoteBusLink, NoPortReportsTheFirstByteAndCountsTheRest)
{
	// The state a fresh process starts with.
	RB_Quit();
	pollByte = 0;
	packetSize = 0;
	CaptureStdout();
	RB_Init();
	EXPECT_EQ(GetCapturedStdout(), "");
	EXPECT_EQ(pollByte, 0);
	EXPECT_EQ(packetSize, 0);

	CaptureStdout();
	CaptureStderr();
	EXPECT_EQ(RB_GetKeypress(), 0);
	RB_ShowMessage("Remove floppy   ", "Insert CD, ENTER");
	RB_Quit();
	EXPECT_EQ(GetCapturedStdout(), "ERROR sending byte 00\n");
	// The LCD text command and its 32 characters; the last is the R of ENTER.
	EXPECT_EQ(GetCapturedStderr(),
	          "serial: no port could be opened; none was found\n"
	          "remote: sending failed 33 more times in the same way, the last byte 52\n");
}

TEST_F(RemoteBusLink, SecondDeviceUsedWhenTheFirstDangles)
{
	symlink("/nonexistent/tty", fRoot.Join("dev/ports/a-gone").c_str());
	PtyPair pty;
	pty.LinkInto(fRoot.Path(), "b-serial");
	CaptureStdout();
	RB_Init();
	EXPECT_EQ(GetCapturedStdout(), "RB: Using serial port b-serial\n");
	RB_ShowMessage("x", "y");
	EXPECT_EQ(pty.Receive(33).size(), 33u);
}

TEST_F(RemoteBusLink, SecondDeviceUsedWhenTheFirstIsBusy)
{
	PtyPair busy;
	busy.LinkInto(fRoot.Path(), "a-busy");
	PtyPair free;
	free.LinkInto(fRoot.Path(), "b-free");
	BSerialPort other;
	ASSERT_GT(other.Open("a-busy"), 0);
	CaptureStdout();
	RB_Init();
	EXPECT_EQ(GetCapturedStdout(), "RB: Using serial port b-free\n");
}

TEST_F(RemoteBusLink, ReceiveOnClosedPortReturnsTheError)
{
	RB_Quit();
	uint8 bytes[4];
	EXPECT_EQ(RembusReceive(bytes, sizeof(bytes)), B_FILE_ERROR);
}

TEST_F(RemoteBusLink, QuitClosesThePort)
{
	PtyPair pty;
	pty.LinkInto(fRoot.Path(), "serial1");
	CaptureStdout();
	RB_Init();
	GetCapturedStdout();
	BSerialPort other;
	EXPECT_EQ(other.Open("serial1"), B_BUSY);
	RB_Quit();
	EXPECT_GT(other.Open("serial1"), 0);
}

TEST_F(RemoteBusLink, UnitThatHungUpGivesSendErrorsAndNoKeys)
{
	PtyPair pty;
	pty.LinkInto(fRoot.Path(), "serial1");
	CaptureStdout();
	RB_Init();
	GetCapturedStdout();
	pty.HangUp();
	CaptureStdout();
	CaptureStderr();
	for (int poll = 0; poll < 3; poll++)
		EXPECT_EQ(RB_GetKeypress(), 0);
	RB_Quit();
	EXPECT_EQ(GetCapturedStdout(), "ERROR sending byte 90\n");
	EXPECT_EQ(GetCapturedStderr(),
	          "serial: serial1 went away; opening it again every 0.5 s\n"
	          "remote: sending failed 2 more times in the same way, the last byte 90\n");
}
