#include <SerialPort.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <OS.h>

#include "device/SerialOpen.h"
#include "support/PtyPair.h"
#include "support/TempDirectory.h"

using VelmoTest::PtyPair;
using VelmoTest::TempDirectory;

namespace {

const bigtime_t kShortTimeout = 50000;

// A platform root of its own with a pseudo-terminal linked in as dev/ports/serial1.
class SerialPortTest : public testing::Test
{
protected:
	void SetUp() override
	{
		setenv("BEOS_ROOT", fRoot.Path().c_str(), 1);
		fPty.LinkInto(fRoot.Path(), "serial1");
	}
	void TearDown() override { unsetenv("BEOS_ROOT"); }

	struct termios SlaveAttributes() const
	{
		struct termios attributes = {};
		EXPECT_EQ(tcgetattr(fPty.HeldSlave(), &attributes), 0);
		return attributes;
	}

	// The port as the remote bus uses it: opened, blocking reads with a short time-out.
	void OpenWithTimeout(BSerialPort& serial, bigtime_t timeout)
	{
		ASSERT_GT(serial.Open("serial1"), 0);
		serial.SetBlocking(true);
		serial.SetTimeout(timeout);
	}

	TempDirectory fRoot{"velmo-serial"};
	PtyPair fPty;
};

// A process in a session of its own whose controlling terminal is `terminal`, as a getty's or a
// login shell's is, until End() or the destructor ends it.
class SessionOnTerminal
{
public:
	explicit SessionOnTerminal(const std::string& terminal)
	{
		int ready[2], release[2];
		if (pipe(ready) != 0)
			return;
		if (pipe(release) != 0) {
			close(ready[0]);
			close(ready[1]);
			return;
		}
		fPid = fork();
		if (fPid == 0) {
			close(ready[0]);
			close(release[1]);
			char byte = 0;
			int descriptor = setsid() < 0 ? -1 : open(terminal.c_str(), O_RDWR);
			if (descriptor < 0 || ioctl(descriptor, TIOCSCTTY, 0) != 0 ||
			    write(ready[1], &byte, 1) != 1)
				_exit(1);
			// Until the test closes its end.
			_exit(read(release[0], &byte, 1) < 0);
		}
		close(ready[1]);
		close(release[0]);
		fRelease = release[1];
		char byte = 0;
		fStarted = fPid > 0 && read(ready[0], &byte, 1) == 1;
		close(ready[0]);
	}
	~SessionOnTerminal() { End(); }

	bool Started() const { return fStarted; }

	// Ends the process; its wait status.
	int End()
	{
		if (fRelease >= 0)
			close(fRelease);
		fRelease = -1;
		int status = -1;
		if (fPid > 0 && waitpid(fPid, &status, 0) != fPid)
			status = -1;
		fPid = -1;
		return status;
	}

private:
	pid_t fPid = -1;
	int fRelease = -1;
	bool fStarted = false;
};

} // namespace

TEST_F(SerialPortTest, CountsTheEntriesOfDevPortsSortedByName)
{
	PtyPair second;
	second.LinkInto(fRoot.Path(), "a-port");
	symlink("/nonexistent/tty", fRoot.Join("dev/ports/zz-dangling").c_str());

	BSerialPort serial;
	ASSERT_EQ(serial.CountDevices(), 3);
	char name[B_OS_NAME_LENGTH];
	ASSERT_EQ(serial.GetDeviceName(0, name), B_OK);
	EXPECT_STREQ(name, "a-port");
	ASSERT_EQ(serial.GetDeviceName(1, name, sizeof(name)), B_OK);
	EXPECT_STREQ(name, "serial1");
	ASSERT_EQ(serial.GetDeviceName(2, name, sizeof(name)), B_OK);
	EXPECT_STREQ(name, "zz-dangling");
	EXPECT_EQ(serial.GetDeviceName(3, name, sizeof(name)), B_BAD_INDEX);
	EXPECT_EQ(serial.GetDeviceName(-1, name, sizeof(name)), B_BAD_INDEX);
}

TEST_F(SerialPortTest, CountDevicesSeesPortsAddedAfterConstruction)
{
	BSerialPort serial;
	ASSERT_EQ(serial.CountDevices(), 1);
	PtyPair later;
	later.LinkInto(fRoot.Path(), "serial2");
	EXPECT_EQ(serial.CountDevices(), 2);
}

TEST_F(SerialPortTest, OpensANameThroughDevPortsAndReturnsADescriptor)
{
	BSerialPort serial;
	status_t descriptor = serial.Open("serial1");
	EXPECT_GT(descriptor, 0);
}

TEST_F(SerialPortTest, OpensABeOSPathBelowThePlatformRoot)
{
	BSerialPort serial;
	EXPECT_GT(serial.Open("/dev/ports/serial1"), 0);
}

TEST_F(SerialPortTest, OpenOfAMissingOrDanglingDeviceFailsWithEntryNotFound)
{
	symlink("/nonexistent/tty", fRoot.Join("dev/ports/dangling").c_str());
	BSerialPort serial;
	EXPECT_EQ(serial.Open("nothing-here"), B_ENTRY_NOT_FOUND);
	EXPECT_EQ(serial.Open("dangling"), B_ENTRY_NOT_FOUND);
}

TEST_F(SerialPortTest, SettingsReachTheTerminalAsRaw57600EightNoneOne)
{
	BSerialPort serial;
	serial.SetFlowControl(B_NOFLOW_CONTROL);
	ASSERT_GT(serial.Open("serial1"), 0);
	EXPECT_EQ(serial.SetDataRate(B_57600_BPS), B_OK);
	serial.SetDataBits(B_DATA_BITS_8);
	serial.SetStopBits(B_STOP_BITS_1);
	serial.SetParityMode(B_NO_PARITY);

	struct termios attributes = SlaveAttributes();
	EXPECT_EQ(cfgetospeed(&attributes), (speed_t)B57600);
	EXPECT_EQ(cfgetispeed(&attributes), (speed_t)B57600);
	EXPECT_EQ(attributes.c_cflag & CSIZE, (tcflag_t)CS8);
	EXPECT_EQ(attributes.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
	EXPECT_EQ(attributes.c_cflag & (CLOCAL | CREAD), (tcflag_t)(CLOCAL | CREAD));
	EXPECT_EQ(attributes.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
	EXPECT_EQ(attributes.c_iflag & (ICRNL | INLCR | IGNCR | IXON | IXOFF | ISTRIP), 0u);
	EXPECT_EQ(attributes.c_oflag & OPOST, 0u);
	EXPECT_EQ(attributes.c_cc[VMIN], 1);
	EXPECT_EQ(attributes.c_cc[VTIME], 0);
}

TEST_F(SerialPortTest, SettingsMadeBeforeOpenApplyAtOpenAndAreReported)
{
	BSerialPort serial;
	EXPECT_EQ(serial.SetDataRate(B_9600_BPS), B_OK);
	serial.SetDataBits(B_DATA_BITS_7);
	serial.SetStopBits(B_STOP_BITS_2);
	serial.SetParityMode(B_ODD_PARITY);
	serial.SetFlowControl(B_HARDWARE_CONTROL);
	ASSERT_GT(serial.Open("serial1"), 0);

	// A pseudo-terminal keeps its characters 8 bits wide without parity whatever it is told
	// (the kernel forces CS8 and clears PARENB), so only the other fields can be checked there.
	struct termios attributes = SlaveAttributes();
	EXPECT_EQ(cfgetospeed(&attributes), (speed_t)B9600);
	EXPECT_EQ(attributes.c_cflag & (PARODD | CSTOPB | CRTSCTS),
	          (tcflag_t)(PARODD | CSTOPB | CRTSCTS));
	EXPECT_EQ(serial.DataRate(), B_9600_BPS);
	EXPECT_EQ(serial.DataBits(), B_DATA_BITS_7);
	EXPECT_EQ(serial.StopBits(), B_STOP_BITS_2);
	EXPECT_EQ(serial.ParityMode(), B_ODD_PARITY);
	EXPECT_EQ(serial.FlowControl(), (uint32)B_HARDWARE_CONTROL);

	serial.SetParityMode(B_EVEN_PARITY);
	serial.SetFlowControl(B_SOFTWARE_CONTROL);
	attributes = SlaveAttributes();
	EXPECT_EQ(attributes.c_cflag & (PARODD | CRTSCTS), 0u);
	EXPECT_EQ(attributes.c_iflag & (IXON | IXOFF), (tcflag_t)(IXON | IXOFF));
}

TEST_F(SerialPortTest, SecondOpenOfTheSameDeviceIsBusy)
{
	BSerialPort first;
	BSerialPort second;
	ASSERT_GT(first.Open("serial1"), 0);
	EXPECT_EQ(second.Open("serial1"), B_BUSY);
	first.Close();
	EXPECT_GT(second.Open("serial1"), 0);
}

TEST_F(SerialPortTest, OpenFromAnotherProcessIsBusyWhileThePortIsOpen)
{
	BSerialPort serial;
	ASSERT_GT(serial.Open("serial1"), 0);
	pid_t child = fork();
	ASSERT_GE(child, 0);
	if (child == 0) {
		BSerialPort other;
		_exit(other.Open("serial1") == B_BUSY ? 0 : 1);
	}
	int status = 0;
	ASSERT_EQ(waitpid(child, &status, 0), child);
	ASSERT_TRUE(WIFEXITED(status));
	EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(SerialPortTest, ReopeningClosesTheDeviceOpenedBefore)
{
	PtyPair second;
	second.LinkInto(fRoot.Path(), "serial2");
	BSerialPort serial;
	ASSERT_GT(serial.Open("serial1"), 0);
	ASSERT_GT(serial.Open("serial2"), 0);
	BSerialPort other;
	EXPECT_GT(other.Open("serial1"), 0);
}

TEST_F(SerialPortTest, ReadWithNothingComingWaitsTheTimeOutAndReturnsZero)
{
	BSerialPort serial;
	OpenWithTimeout(serial, kShortTimeout);
	uint8 byte;
	bigtime_t start = system_time();
	EXPECT_EQ(serial.Read(&byte, 1), 0);
	EXPECT_GE(system_time() - start, kShortTimeout - 1000);
}

TEST_F(SerialPortTest, ReadTimeOutCountsFromWhenTheWrittenBytesHaveLeftTheLine)
{
	BSerialPort serial;
	OpenWithTimeout(serial, kShortTimeout);
	ASSERT_EQ(serial.SetDataRate(B_9600_BPS), B_OK);
	// 96 characters of 10 bits at 9600 bit/s: 100 ms on the line, written at once.
	const std::vector<uint8> command(96, 0x20);
	bigtime_t start = system_time();
	ASSERT_EQ(serial.Write(command.data(), command.size()), 96);
	uint8 byte;
	EXPECT_EQ(serial.Read(&byte, 1), 0);
	EXPECT_GE(system_time() - start, 100000 + kShortTimeout - 1000);
	EXPECT_EQ(fPty.Drain().size(), 96u);
}

TEST_F(SerialPortTest, ReadReturnsTheBytesThatCame)
{
	BSerialPort serial;
	OpenWithTimeout(serial, kShortTimeout);
	fPty.Send({0x90, 0x00, 0x0d, 0x0a, 0xff});
	uint8 bytes[5] = {};
	EXPECT_EQ(serial.Read(bytes, sizeof(bytes)), 5);
	EXPECT_EQ(std::vector<uint8>(bytes, bytes + 5),
	          (std::vector<uint8>{0x90, 0x00, 0x0d, 0x0a, 0xff}));
}

TEST_F(SerialPortTest, ReadReturnsFewerBytesWhenTheTimeOutPassesFirst)
{
	BSerialPort serial;
	OpenWithTimeout(serial, kShortTimeout);
	fPty.Send({1, 2, 3});
	uint8 bytes[10] = {};
	EXPECT_EQ(serial.Read(bytes, sizeof(bytes)), 3);
	EXPECT_EQ(bytes[2], 3);
}

TEST_F(SerialPortTest, NonBlockingReadReturnsAtOnceWithWhatIsThere)
{
	BSerialPort serial;
	ASSERT_GT(serial.Open("serial1"), 0);
	serial.SetBlocking(false);
	uint8 byte = 0;
	EXPECT_EQ(serial.Read(&byte, 1), 0);
	fPty.Send({0x42});
	ASSERT_TRUE(fPty.WaitUntilSlaveReadable());
	EXPECT_EQ(serial.Read(&byte, 1), 1);
	EXPECT_EQ(byte, 0x42);
}

TEST_F(SerialPortTest, WrittenBytesReachTheDeviceUnchanged)
{
	BSerialPort serial;
	ASSERT_GT(serial.Open("serial1"), 0);
	const uint8 bytes[] = {0xf2, '\n', '\r', 0x03, 0x7f};
	EXPECT_EQ(serial.Write(bytes, sizeof(bytes)), (ssize_t)sizeof(bytes));
	EXPECT_EQ(fPty.Receive(sizeof(bytes)), std::vector<uint8>(bytes, bytes + sizeof(bytes)));
}

TEST_F(SerialPortTest, AfterAHangUpReadsReturnPromptlyAndWritesFail)
{
	BSerialPort serial;
	OpenWithTimeout(serial, B_INFINITE_TIMEOUT);
	fPty.HangUp();
	uint8 byte = 0;
	// Each of these would block for ever if the hang-up went unnoticed.
	for (int attempt = 0; attempt < 3; attempt++)
		EXPECT_LE(serial.Read(&byte, 1), 0);
	EXPECT_LT(serial.Write(&byte, 1), 0);
}

TEST_F(SerialPortTest, ReadingAfterTheDeviceWasRemovedNeverBlocks)
{
	BSerialPort serial;
	OpenWithTimeout(serial, B_INFINITE_TIMEOUT);
	fPty.HangUp();
	std::filesystem::remove(fRoot.Join("dev/ports/serial1"));
	uint8 byte = 0;
	EXPECT_LE(serial.Read(&byte, 1), 0);
	EXPECT_LE(serial.WaitForInput(), 0);
}

TEST_F(SerialPortTest, ReadAndWriteOnAClosedPortFailWithFileError)
{
	BSerialPort serial;
	uint8 byte = 0;
	EXPECT_EQ(serial.Read(&byte, 1), B_FILE_ERROR);
	EXPECT_EQ(serial.Write(&byte, 1), B_FILE_ERROR);
	ASSERT_GT(serial.Open("serial1"), 0);
	serial.Close();
	serial.Close();
	EXPECT_EQ(serial.Read(&byte, 1), B_FILE_ERROR);
}

TEST_F(SerialPortTest, ClearInputDropsWhatWasNotReadYet)
{
	BSerialPort serial;
	OpenWithTimeout(serial, kShortTimeout);
	fPty.Send({1, 2, 3});
	ASSERT_TRUE(fPty.WaitUntilSlaveReadable());
	serial.ClearInput();
	uint8 byte = 0;
	EXPECT_EQ(serial.Read(&byte, 1), 0);
}

TEST_F(SerialPortTest, BytesAfterTheOneReadStayWaitingCountedAndClearable)
{
	BSerialPort serial;
	OpenWithTimeout(serial, 5000000);
	fPty.Send({1, 2, 3, 4, 5});
	ASSERT_TRUE(fPty.WaitUntilSlaveReadable());
	uint8 byte = 0;
	ASSERT_EQ(serial.Read(&byte, 1), 1);
	EXPECT_EQ(byte, 1);
	EXPECT_EQ(serial.WaitForInput(), 4);
	ASSERT_EQ(serial.Read(&byte, 1), 1);
	EXPECT_EQ(byte, 2);
	fPty.Send({6});
	uint8 rest[4] = {};
	ASSERT_EQ(serial.Read(rest, sizeof(rest)), 4);
	EXPECT_EQ(std::vector<uint8>(rest, rest + 4), (std::vector<uint8>{3, 4, 5, 6}));

	fPty.Send({7, 8, 9});
	ASSERT_TRUE(fPty.WaitUntilSlaveReadable());
	ASSERT_EQ(serial.Read(&byte, 1), 1);
	serial.ClearInput();
	serial.SetTimeout(kShortTimeout);
	EXPECT_EQ(serial.Read(&byte, 1), 0);
}

TEST_F(SerialPortTest, WaitForInputCountsTheBytesWaiting)
{
	BSerialPort serial;
	OpenWithTimeout(serial, 5000000);
	fPty.Send({1, 2, 3, 4});
	ASSERT_TRUE(fPty.WaitUntilSlaveReadable());
	EXPECT_EQ(serial.WaitForInput(), 4);
}

TEST_F(SerialPortTest, DeviceBackUnderItsNameIsOpenedAgainAfterHalfASecondWithItsSettings)
{
	BSerialPort serial;
	OpenWithTimeout(serial, kShortTimeout);
	ASSERT_EQ(serial.SetDataRate(B_57600_BPS), B_OK);
	testing::internal::CaptureStderr();
	fPty.HangUp();
	std::filesystem::remove(fRoot.Join("dev/ports/serial1"));
	uint8 byte = 0x90;
	EXPECT_LT(serial.Write(&byte, 1), 0);
	const bigtime_t wentAway = system_time();

	PtyPair back;
	back.LinkInto(fRoot.Path(), "serial1");
	// Tried again at most every half second: not before that, and then at once.
	bigtime_t reopened = 0;
	while (system_time() - wentAway < 5000000) {
		if (serial.Write(&byte, 1) == 1) {
			reopened = system_time();
			break;
		}
		snooze(10000);
	}
	const std::string notices = testing::internal::GetCapturedStderr();
	ASSERT_NE(reopened, 0);
	EXPECT_GE(reopened - wentAway, 500000 - 1000);
	EXPECT_EQ(notices, "serial: serial1 went away; opening it again every 0.5 s\n"
	                   "serial: serial1 is back\n");
	EXPECT_EQ(back.Receive(1), std::vector<uint8>(1, 0x90));

	// The same settings, and the same exclusive hold.
	struct termios attributes = {};
	ASSERT_EQ(tcgetattr(back.HeldSlave(), &attributes), 0);
	EXPECT_EQ(cfgetospeed(&attributes), (speed_t)B57600);
	EXPECT_EQ(attributes.c_lflag & (ICANON | ECHO), 0u);
	BSerialPort other;
	EXPECT_EQ(other.Open("serial1"), B_BUSY);
	back.Send({0x42});
	uint8 read = 0;
	EXPECT_EQ(serial.Read(&read, 1), 1);
	EXPECT_EQ(read, 0x42);
}

TEST_F(SerialPortTest, ClosedPortIsNotOpenedAgain)
{
	BSerialPort serial;
	OpenWithTimeout(serial, kShortTimeout);
	fPty.HangUp();
	uint8 byte = 0;
	testing::internal::CaptureStderr();
	EXPECT_LE(serial.Read(&byte, 1), 0);
	serial.Close();
	PtyPair back;
	std::filesystem::remove(fRoot.Join("dev/ports/serial1"));
	back.LinkInto(fRoot.Path(), "serial1");
	snooze(600000);
	EXPECT_EQ(serial.Write(&byte, 1), B_FILE_ERROR);
	EXPECT_EQ(testing::internal::GetCapturedStderr(),
	          "serial: serial1 went away; opening it again every 0.5 s\n");
}

// A terminal that is some process's controlling terminal, as a getty's or a login shell's is, is
// never opened: the unit's bytes would land in someone's login.
TEST_F(SerialPortTest, NoPortOpenedIsToldOnceNamingTheNamesTriedAndThosePassedOver)
{
	symlink("/nonexistent/tty", fRoot.Join("dev/ports/a-dangling").c_str());
	BSerialPort holder;
	ASSERT_GT(holder.Open("serial1"), 0);
	PtyPair login;
	login.LinkInto(fRoot.Path(), "serial2");
	SessionOnTerminal shell(login.SlavePath());
	ASSERT_TRUE(shell.Started()) << "the login's stand-in did not start";

	BSerialPort serial;
	ASSERT_EQ(serial.CountDevices(), 3);
	EXPECT_LT(serial.Open("a-dangling"), 0);
	EXPECT_EQ(serial.Open("serial1"), B_BUSY);
	testing::internal::CaptureStderr();
	EXPECT_EQ(serial.Open("serial2"), B_NOT_ALLOWED);
	EXPECT_EQ(serial.Open("serial2"), B_NOT_ALLOWED);
	uint8 byte = 0;
	EXPECT_EQ(serial.Write(&byte, 1), B_FILE_ERROR);
	EXPECT_EQ(serial.Read(&byte, 1), B_FILE_ERROR);
	EXPECT_EQ(testing::internal::GetCapturedStderr(),
	          "serial: passed over serial2: a login runs on it\n"
	          "serial: no port could be opened; tried a-dangling (not found), serial1 (in use), "
	          "serial2 (a login runs on it)\n");
	EXPECT_EQ(shell.End(), 0);
}

TEST_F(SerialPortTest, LowLatencyRefusedByAPseudoTerminalChangesNothing)
{
	struct termios before = SlaveAttributes();
	EXPECT_FALSE(BPrivate::RequestLowLatency(fPty.HeldSlave()));
	struct termios after = SlaveAttributes();
	EXPECT_EQ(memcmp(&before, &after, sizeof(before)), 0);
	// Opening asks for it too: the port works as before, and says nothing.
	BSerialPort serial;
	testing::internal::CaptureStderr();
	OpenWithTimeout(serial, kShortTimeout);
	const uint8 byte = 0x90;
	EXPECT_EQ(serial.Write(&byte, 1), 1);
	EXPECT_EQ(fPty.Receive(1), std::vector<uint8>(1, 0x90));
	EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}
