#include "device/SerialSettings.h"

#include <errno.h>
#include <termios.h>

#include "kernel/PosixError.h"

namespace BPrivate {

namespace {

// The BeOS constants are indices, not termios values: map each one explicitly. 31250 bit/s (MIDI)
// has no termios speed.
bool SpeedFor(data_rate rate, speed_t* speed)
{
	switch (rate) {
	case B_0_BPS:
		*speed = B0;
		return true;
	case B_50_BPS:
		*speed = B50;
		return true;
	case B_75_BPS:
		*speed = B75;
		return true;
	case B_110_BPS:
		*speed = B110;
		return true;
	case B_134_BPS:
		*speed = B134;
		return true;
	case B_150_BPS:
		*speed = B150;
		return true;
	case B_200_BPS:
		*speed = B200;
		return true;
	case B_300_BPS:
		*speed = B300;
		return true;
	case B_600_BPS:
		*speed = B600;
		return true;
	case B_1200_BPS:
		*speed = B1200;
		return true;
	case B_1800_BPS:
		*speed = B1800;
		return true;
	case B_2400_BPS:
		*speed = B2400;
		return true;
	case B_4800_BPS:
		*speed = B4800;
		return true;
	case B_9600_BPS:
		*speed = B9600;
		return true;
	case B_19200_BPS:
		*speed = B19200;
		return true;
	case B_38400_BPS:
		*speed = B38400;
		return true;
	case B_57600_BPS:
		*speed = B57600;
		return true;
	case B_115200_BPS:
		*speed = B115200;
		return true;
	case B_230400_BPS:
		*speed = B230400;
		return true;
	case B_31250_BPS:
		return false;
	}
	return false;
}

// The data rate in bits a second; 0 for B_0_BPS.
int32 BitsPerSecond(data_rate rate)
{
	static const int32 kRates[] = {0,     50,    75,    110,    134,    150,  200,
	                               300,   600,   1200,  1800,   2400,   4800, 9600,
	                               19200, 38400, 57600, 115200, 230400, 31250};
	const size_t index = size_t(rate);
	return index < sizeof(kRates) / sizeof(kRates[0]) ? kRates[index] : 0;
}

} // namespace

bigtime_t CharacterTime(const SerialSettings& settings)
{
	const int32 rate = BitsPerSecond(settings.dataRate);
	if (rate <= 0)
		return 0;
	const int32 bits = 1 + (settings.dataBits == B_DATA_BITS_7 ? 7 : 8) +
	                   (settings.parityMode == B_NO_PARITY ? 0 : 1) +
	                   (settings.stopBits == B_STOP_BITS_2 ? 2 : 1);
	return (bigtime_t(bits) * 1000000 + rate - 1) / rate;
}

bool IsSupportedDataRate(data_rate rate)
{
	speed_t speed;
	return SpeedFor(rate, &speed);
}

status_t ApplySerialSettings(int descriptor, const SerialSettings& settings)
{
	struct termios attributes;
	if (tcgetattr(descriptor, &attributes) != 0)
		return PosixError(errno);

	attributes.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
	                        IXOFF | IXANY | INPCK | IMAXBEL);
	attributes.c_oflag &= ~OPOST;
	attributes.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
	// With VMIN 1 a read on the (non-blocking) descriptor tells "nothing yet" (EAGAIN) from "the
	// device went away" (0 or EIO) without asking poll() first; the time-outs are poll()'s.
	attributes.c_cc[VMIN] = 1;
	attributes.c_cc[VTIME] = 0;

	// Clearing CSIZE alone would leave 5-bit characters: always set the size after.
	attributes.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS);
	attributes.c_cflag |= CLOCAL | CREAD;
	attributes.c_cflag |= settings.dataBits == B_DATA_BITS_7 ? CS7 : CS8;
	if (settings.stopBits == B_STOP_BITS_2)
		attributes.c_cflag |= CSTOPB;
	if (settings.parityMode == B_ODD_PARITY)
		attributes.c_cflag |= PARENB | PARODD;
	else if (settings.parityMode == B_EVEN_PARITY)
		attributes.c_cflag |= PARENB;
	if (settings.flowControl == B_HARDWARE_CONTROL)
		attributes.c_cflag |= CRTSCTS;
	else if (settings.flowControl == B_SOFTWARE_CONTROL)
		attributes.c_iflag |= IXON | IXOFF;

	speed_t speed;
	if (SpeedFor(settings.dataRate, &speed)) {
		cfsetispeed(&attributes, speed);
		cfsetospeed(&attributes, speed);
	}

	while (tcsetattr(descriptor, TCSANOW, &attributes) != 0) {
		if (errno != EINTR)
			return PosixError(errno);
	}
	return B_OK;
}

} // namespace BPrivate
