#include <SerialPort.h>

#include <errno.h>
#include <poll.h>
#include <string.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "device/SerialDevices.h"
#include "device/SerialOpen.h"
#include "device/SystemTerminals.h"
#include "device/SerialReseat.h"
#include "device/SerialSettings.h"
#include "kernel/PosixError.h"
#include "kernel/Thread.h"
#include "kernel/Time.h"

using namespace BPrivate;

namespace {

// How long a blocking Write waits for room before it gives up with what it wrote: a unit that
// stopped reading must not hold its writer for ever.
const bigtime_t kWriteStallTimeout = 1000000;

bigtime_t DeadlineAfter(bigtime_t timeout)
{
	if (timeout == B_INFINITE_TIMEOUT)
		return B_INFINITE_TIMEOUT;
	bigtime_t now = system_time();
	if (timeout >= B_INFINITE_TIMEOUT - now)
		return B_INFINITE_TIMEOUT;
	return now + (timeout > 0 ? timeout : 0);
}

// Waits until `events` can be done on `descriptor` or the deadline passes. The revents, 0 on
// time-out.
short WaitFor(int descriptor, short events, bigtime_t deadline)
{
	for (;;) {
		struct pollfd entry = {descriptor, events, 0};
		int result = poll(&entry, 1, PollTimeout(deadline));
		if (result > 0)
			return entry.revents;
		if (result == 0) {
			if (deadline == B_INFINITE_TIMEOUT || system_time() >= deadline)
				return 0;
			continue;
		}
		if (errno != EINTR)
			return POLLERR;
	}
}

} // namespace

BSerialPort::BSerialPort()
    : fDescriptor(-1), fHungUp(false), fDataRate(B_19200_BPS), fDataBits(B_DATA_BITS_8),
      fStopBits(B_STOP_BITS_1), fParityMode(B_NO_PARITY), fFlowControl(B_HARDWARE_CONTROL),
      fBlocking(true), fTimeout(B_INFINITE_TIMEOUT), fLineFreeAt(0), fInputStart(0), fInputEnd(0),
      fReseat(new SerialReseat)
{
}

BSerialPort::~BSerialPort()
{
	Close();
}

status_t BSerialPort::Open(const char* portName)
{
	Close();
	if (portName == nullptr || portName[0] == '\0')
		return B_BAD_VALUE;

	const std::string path = SerialDevicePath(portName);
	if (const char* systemUse = SystemUseOf(path)) {
		fReseat->PassedOver(portName, systemUse);
		return B_NOT_ALLOWED;
	}
	int descriptor;
	status_t status = OpenSerialDevice(path, &descriptor);
	if (status == B_OK) {
		fDescriptor = descriptor;
		fLineFreeAt = 0;
		fInputStart = fInputEnd = 0;
		status = _ApplySettings();
		if (status != B_OK)
			_CloseDescriptor();
	}
	if (status != B_OK) {
		fReseat->OpenFailed(portName, status);
		return status;
	}
	fReseat->Opened(portName);
	return fDescriptor;
}

void BSerialPort::Close()
{
	_CloseDescriptor();
	fHungUp = false;
	fReseat->Closed();
}

void BSerialPort::_CloseDescriptor()
{
	if (fDescriptor < 0)
		return;
	// Closing releases the lock; the descriptor is gone whatever close() says.
	ioctl(fDescriptor, TIOCNXCL);
	close(fDescriptor);
	fDescriptor = -1;
}

void BSerialPort::_HangUp()
{
	// What the device still held is lost with it.
	_CloseDescriptor();
	fInputStart = fInputEnd = 0;
	fLineFreeAt = 0;
	fHungUp = true;
	fReseat->WentAway(system_time());
}

bool BSerialPort::_Reopen()
{
	if (!fReseat->IsDue(system_time()))
		return false;
	const std::string path = SerialDevicePath(fReseat->Name().c_str());
	if (const char* systemUse = SystemUseOf(path)) {
		fReseat->PassedOver(fReseat->Name().c_str(), systemUse);
		return false;
	}
	int descriptor;
	if (OpenSerialDevice(path, &descriptor) != B_OK)
		return false;
	fDescriptor = descriptor;
	if (_ApplySettings() != B_OK) {
		_CloseDescriptor();
		return false;
	}
	fHungUp = false;
	fReseat->CameBack();
	return true;
}

bool BSerialPort::_IsUsable()
{
	if (fHungUp)
		return _Reopen();
	if (fDescriptor < 0) {
		fReseat->NotOpen();
		return false;
	}
	return true;
}

ssize_t BSerialPort::Read(void* buffer, size_t count)
{
	// A thread suspended while it talked to the port stops here, as at the kernel's own calls.
	CheckSuspension();
	// A device that went away is away until it opens again: answer at once rather than poll it.
	if (!_IsUsable())
		return fHungUp ? B_IO_ERROR : B_FILE_ERROR;
	if (count == 0)
		return 0;

	uint8* bytes = static_cast<uint8*>(buffer);
	size_t received = _TakeBuffered(bytes, count);
	if (received == count)
		return received;
	bigtime_t deadline = _ReadDeadline();
	while (received < count) {
		// Read first, and as much as is there: the line is read one byte per call, and the rest
		// of a reply is usually waiting already; kept here, it costs no further system calls.
		ssize_t length = read(fDescriptor, fInput, sizeof(fInput));
		if (length > 0) {
			fInputEnd = (size_t)length;
			received += _TakeBuffered(bytes + received, count - received);
			continue;
		}
		if (length < 0 && errno == EINTR)
			continue;
		if (length < 0 && errno == EAGAIN) {
			short events = WaitFor(fDescriptor, POLLIN, deadline);
			if (events == 0)
				break;
			if ((events & POLLIN) != 0)
				continue;
			// Hung up or failed, with nothing left to read.
			_HangUp();
			break;
		}
		// End of file (the other side is gone) or EIO: a hang-up.
		if (length == 0 || errno == EIO) {
			_HangUp();
			break;
		}
		return received > 0 ? (ssize_t)received : PosixError(errno);
	}
	if (received == 0 && fHungUp)
		return B_IO_ERROR;
	return received;
}

size_t BSerialPort::_TakeBuffered(uint8* bytes, size_t count)
{
	size_t taken = fInputEnd - fInputStart < count ? fInputEnd - fInputStart : count;
	memcpy(bytes, fInput + fInputStart, taken);
	fInputStart += taken;
	if (fInputStart == fInputEnd)
		fInputStart = fInputEnd = 0;
	return taken;
}

ssize_t BSerialPort::Write(const void* buffer, size_t count)
{
	ssize_t written = _Write(buffer, count);
	if (written > 0) {
		// What went into the driver takes its time on the line.
		const bigtime_t now = system_time();
		fLineFreeAt = (fLineFreeAt > now ? fLineFreeAt : now) +
		              bigtime_t(written) * CharacterTime(_Settings());
	}
	return written;
}

ssize_t BSerialPort::_Write(const void* buffer, size_t count)
{
	CheckSuspension();
	if (!_IsUsable())
		return fHungUp ? B_IO_ERROR : B_FILE_ERROR;

	const uint8* bytes = static_cast<const uint8*>(buffer);
	bigtime_t deadline = fBlocking ? DeadlineAfter(kWriteStallTimeout) : system_time();
	size_t written = 0;
	while (written < count) {
		ssize_t length = write(fDescriptor, bytes + written, count - written);
		if (length > 0) {
			written += length;
			continue;
		}
		if (length < 0 && errno == EINTR)
			continue;
		if (length < 0 && errno == EAGAIN) {
			short events = WaitFor(fDescriptor, POLLOUT, deadline);
			if ((events & POLLOUT) != 0)
				continue;
			if (events == 0) {
				// No room before the deadline: give up with what went.
				if (written == 0)
					return B_WOULD_BLOCK;
				break;
			}
			_HangUp();
			return written > 0 ? (ssize_t)written : B_IO_ERROR;
		}
		int error = length < 0 ? errno : EIO;
		if (error == EIO)
			_HangUp();
		return written > 0 ? (ssize_t)written : PosixError(error);
	}
	return written;
}

void BSerialPort::SetBlocking(bool blocking)
{
	fBlocking = blocking;
}

status_t BSerialPort::SetTimeout(bigtime_t microSeconds)
{
	fTimeout = microSeconds < 0 ? 0 : microSeconds;
	return B_OK;
}

status_t BSerialPort::SetDataRate(data_rate bitsPerSecond)
{
	if (!IsSupportedDataRate(bitsPerSecond))
		return B_BAD_VALUE;
	fDataRate = bitsPerSecond;
	return _ApplySettings();
}

data_rate BSerialPort::DataRate()
{
	return fDataRate;
}

void BSerialPort::SetDataBits(data_bits numBits)
{
	fDataBits = numBits;
	_ApplySettings();
}

data_bits BSerialPort::DataBits()
{
	return fDataBits;
}

void BSerialPort::SetStopBits(stop_bits numBits)
{
	fStopBits = numBits;
	_ApplySettings();
}

stop_bits BSerialPort::StopBits()
{
	return fStopBits;
}

void BSerialPort::SetParityMode(parity_mode which)
{
	fParityMode = which;
	_ApplySettings();
}

parity_mode BSerialPort::ParityMode()
{
	return fParityMode;
}

void BSerialPort::SetFlowControl(uint32 method)
{
	fFlowControl = method;
	_ApplySettings();
}

uint32 BSerialPort::FlowControl()
{
	return fFlowControl;
}

void BSerialPort::ClearInput()
{
	if (fDescriptor >= 0)
		tcflush(fDescriptor, TCIFLUSH);
	fInputStart = fInputEnd = 0;
}

void BSerialPort::ClearOutput()
{
	if (fDescriptor >= 0)
		tcflush(fDescriptor, TCOFLUSH);
	fLineFreeAt = 0;
}

status_t BSerialPort::SetDTR(bool asserted)
{
	if (fDescriptor < 0)
		return B_FILE_ERROR;
	int bits = TIOCM_DTR;
	if (ioctl(fDescriptor, asserted ? TIOCMBIS : TIOCMBIC, &bits) != 0)
		return PosixError(errno);
	return B_OK;
}

status_t BSerialPort::SetRTS(bool asserted)
{
	if (fDescriptor < 0)
		return B_FILE_ERROR;
	int bits = TIOCM_RTS;
	if (ioctl(fDescriptor, asserted ? TIOCMBIS : TIOCMBIC, &bits) != 0)
		return PosixError(errno);
	return B_OK;
}

bool BSerialPort::IsCTS()
{
	return (_ModemBits() & TIOCM_CTS) != 0;
}

bool BSerialPort::IsDSR()
{
	return (_ModemBits() & TIOCM_DSR) != 0;
}

bool BSerialPort::IsRI()
{
	return (_ModemBits() & TIOCM_RI) != 0;
}

bool BSerialPort::IsDCD()
{
	return (_ModemBits() & TIOCM_CD) != 0;
}

ssize_t BSerialPort::WaitForInput()
{
	if (!_IsUsable())
		return fHungUp ? B_IO_ERROR : B_FILE_ERROR;
	const size_t buffered = fInputEnd - fInputStart;
	if (buffered == 0 && WaitFor(fDescriptor, POLLIN, _ReadDeadline()) == 0)
		return 0;
	int waiting = 0;
	if (ioctl(fDescriptor, FIONREAD, &waiting) != 0)
		return PosixError(errno);
	return (ssize_t)buffered + waiting;
}

int32 BSerialPort::CountDevices()
{
	fDevices = ListSerialDevices();
	fReseat->Listed();
	return (int32)fDevices.size();
}

status_t BSerialPort::GetDeviceName(int32 index, char* name, size_t bufSize)
{
	if (name == nullptr || bufSize == 0)
		return B_BAD_VALUE;
	if (index < 0 || (size_t)index >= fDevices.size())
		return B_BAD_INDEX;
	const std::string& device = fDevices[index];
	size_t length = device.size() < bufSize - 1 ? device.size() : bufSize - 1;
	memcpy(name, device.data(), length);
	name[length] = '\0';
	return length == device.size() ? B_OK : B_NAME_TOO_LONG;
}

SerialSettings BSerialPort::_Settings() const
{
	SerialSettings settings;
	settings.dataRate = fDataRate;
	settings.dataBits = fDataBits;
	settings.stopBits = fStopBits;
	settings.parityMode = fParityMode;
	settings.flowControl = fFlowControl;
	return settings;
}

status_t BSerialPort::_ApplySettings()
{
	if (fDescriptor < 0)
		return B_OK;
	return ApplySerialSettings(fDescriptor, _Settings());
}

bigtime_t BSerialPort::_ReadDeadline() const
{
	if (!fBlocking)
		return system_time();
	const bigtime_t now = system_time();
	if (fLineFreeAt <= now || fTimeout == B_INFINITE_TIMEOUT)
		return DeadlineAfter(fTimeout);
	// The output still on its way counts toward the wait: the answer cannot come before it.
	return DeadlineAfter(fTimeout + (fLineFreeAt - now));
}

int32 BSerialPort::_ModemBits()
{
	int bits = 0;
	if (fDescriptor < 0 || ioctl(fDescriptor, TIOCMGET, &bits) != 0)
		return 0;
	return bits;
}
