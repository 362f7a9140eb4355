#include "device/SerialSettings.h"

#include <gtest/gtest.h>

using BPrivate::CharacterTime;
using BPrivate::SerialSettings;

namespace {

SerialSettings Settings(data_rate rate, data_bits dataBits, parity_mode parity, stop_bits stopBits)
{
	SerialSettings settings;
	settings.dataRate = rate;
	settings.dataBits = dataBits;
	settings.parityMode = parity;
	settings.stopBits = stopBits;
	return settings;
}

} // namespace

TEST(SerialSettings, CharacterTimeCountsStartDataParityAndStopBitsAtTheRate)
{
	// 10 bits at 57600 bit/s: 173.6 us, rounded up.
	EXPECT_EQ(CharacterTime(Settings(B_57600_BPS, B_DATA_BITS_8, B_NO_PARITY, B_STOP_BITS_1)), 174);
	// 1 + 7 + 1 + 2 = 11 bits at 9600 bit/s.
	EXPECT_EQ(CharacterTime(Settings(B_9600_BPS, B_DATA_BITS_7, B_EVEN_PARITY, B_STOP_BITS_2)),
	          1146);
	// The rate that is not a termios speed still has its time.
	EXPECT_EQ(CharacterTime(Settings(B_31250_BPS, B_DATA_BITS_8, B_NO_PARITY, B_STOP_BITS_1)), 320);
	EXPECT_EQ(CharacterTime(Settings(B_0_BPS, B_DATA_BITS_8, B_NO_PARITY, B_STOP_BITS_1)), 0);
}
