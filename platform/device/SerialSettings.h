#pragma once

// The link settings of BSerialPort and their translation into termios.

#include <SerialPort.h>

namespace BPrivate {

struct SerialSettings
{
	data_rate dataRate = B_19200_BPS;
	data_bits dataBits = B_DATA_BITS_8;
	stop_bits stopBits = B_STOP_BITS_1;
	parity_mode parityMode = B_NO_PARITY;
	uint32 flowControl = B_HARDWARE_CONTROL;
};

// How long one character takes on the line with the settings: its start bit, data bits, parity
// bit and stop bits at the data rate, in microseconds. 0 for B_0_BPS (the line hung up).
bigtime_t CharacterTime(const SerialSettings& settings);

// Whether the rate has a termios speed on this machine.
bool IsSupportedDataRate(data_rate rate);

// Puts the terminal `descriptor` in raw mode (no translation, echo or signals; CLOCAL | CREAD;
// VMIN 1, VTIME 0) with the settings. B_OK, or the error of tcgetattr/tcsetattr.
status_t ApplySerialSettings(int descriptor, const SerialSettings& settings);

} // namespace BPrivate
