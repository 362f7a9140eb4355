#pragma once

// The Device Kit's serial port: one object a port, opened by name, read and written in bytes.

#include <memory>
#include <string>
#include <vector>

#include <OS.h>
#include <SupportDefs.h>

enum data_rate
{
	B_0_BPS = 0,
	B_50_BPS = 1,
	B_75_BPS = 2,
	B_110_BPS = 3,
	B_134_BPS = 4,
	B_150_BPS = 5,
	B_200_BPS = 6,
	B_300_BPS = 7,
	B_600_BPS = 8,
	B_1200_BPS = 9,
	B_1800_BPS = 10,
	B_2400_BPS = 11,
	B_4800_BPS = 12,
	B_9600_BPS = 13,
	B_19200_BPS = 14,
	B_38400_BPS = 15,
	B_57600_BPS = 16,
	B_115200_BPS = 17,
	B_230400_BPS = 18,
	B_31250_BPS = 19,
};

enum data_bits
{
	B_DATA_BITS_7 = 0,
	B_DATA_BITS_8 = 1,
};

enum stop_bits
{
	B_STOP_BITS_1 = 0,
	B_STOP_BITS_2 = 1,
};

enum parity_mode
{
	B_NO_PARITY = 0,
	B_ODD_PARITY = 1,
	B_EVEN_PARITY = 2,
};

// Flow control methods, for SetFlowControl.
enum
{
	B_NOFLOW_CONTROL = 0,
	B_HARDWARE_CONTROL = 1,
	B_SOFTWARE_CONTROL = 2,
};

namespace BPrivate {
struct SerialSettings;
class SerialReseat;
}

// A serial port. The devices are those listed in /dev/ports (under the platform root) when that
// directory exists, else the machine's own serial ports. Settings may be changed at any time:
// they apply at once to an open port and are kept for the next Open. A device that hangs up or goes
// away is opened again under the same name, with the same settings, at most every half second
// while the object is used, until it opens; this and a port that could not be opened at all are
// told on standard error. Only one thread at a time may use an object.
class BSerialPort
{
public:
	BSerialPort();
	virtual ~BSerialPort();

	// Opens the device (a name from GetDeviceName, or a BeOS path) for exclusive use, in raw mode
	// with the current settings, closing the device opened before. The descriptor (> 0), or a
	// negative error: B_BUSY when the device is already in use.
	status_t Open(const char* portName);
	void Close();

	// Blocking (the default): waits at most the time-out for `count` bytes and returns those that
	// came, 0 when none did. Not blocking: returns at once what is there. A device that hung up
	// returns B_IO_ERROR at once until it is open again; a port not open, B_FILE_ERROR.
	ssize_t Read(void* buffer, size_t count);
	ssize_t Write(const void* buffer, size_t count);

	void SetBlocking(bool blocking);
	// Read time-out in microseconds; B_INFINITE_TIMEOUT waits without limit. It counts from when
	// the bytes written before have left the line (as the data rate says), so that a device has
	// the whole time-out to answer what it was sent.
	status_t SetTimeout(bigtime_t microSeconds);

	status_t SetDataRate(data_rate bitsPerSecond);
	data_rate DataRate();
	void SetDataBits(data_bits numBits);
	data_bits DataBits();
	void SetStopBits(stop_bits numBits);
	stop_bits StopBits();
	void SetParityMode(parity_mode which);
	parity_mode ParityMode();
	void SetFlowControl(uint32 method);
	uint32 FlowControl();

	// Drop what was received and not read yet / written and not sent yet.
	void ClearInput();
	void ClearOutput();

	status_t SetDTR(bool asserted);
	status_t SetRTS(bool asserted);
	bool IsCTS();
	bool IsDSR();
	bool IsRI();
	bool IsDCD();
	// Waits (at most the time-out) until input is there; the number of bytes waiting.
	ssize_t WaitForInput();

	// Lists the devices afresh; GetDeviceName then reads that list by index.
	int32 CountDevices();
	status_t GetDeviceName(int32 index, char* name, size_t bufSize = B_OS_NAME_LENGTH);

private:
	BSerialPort(const BSerialPort&) = delete;
	BSerialPort& operator=(const BSerialPort&) = delete;

	status_t _ApplySettings();
	// Whether the port can be used now: open, or open again after it went away.
	bool _IsUsable();
	// The device hung up or went away: closed at once, so that its name can be given to it again
	// when it comes back, and opened again later.
	void _HangUp();
	bool _Reopen();
	void _CloseDescriptor();
	// The read deadline: the time-out from now, or from when the output has gone out.
	bigtime_t _ReadDeadline() const;
	ssize_t _Write(const void* buffer, size_t count);
	// Moves up to `count` bytes read ahead into `bytes`; how many.
	size_t _TakeBuffered(uint8* bytes, size_t count);
	BPrivate::SerialSettings _Settings() const;
	int32 _ModemBits();

	int fDescriptor;
	bool fHungUp;
	data_rate fDataRate;
	data_bits fDataBits;
	stop_bits fStopBits;
	parity_mode fParityMode;
	uint32 fFlowControl;
	bool fBlocking;
	bigtime_t fTimeout;
	// When what was written so far is through the line, by the data rate; 0 when nothing was.
	bigtime_t fLineFreeAt;
	// Bytes read from the device ahead of the caller, fInput[fInputStart, fInputEnd).
	uint8 fInput[64];
	size_t fInputStart;
	size_t fInputEnd;
	std::vector<std::string> fDevices;
	std::unique_ptr<BPrivate::SerialReseat> fReseat;
};
