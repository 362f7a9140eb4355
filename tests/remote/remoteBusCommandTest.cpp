// The LCD and LED commands of doc/remote-protocol.md, by their cases' names: the bytes the module
// writes, read on the unit's side of a real pseudo-terminal.

#include "remoteBus.h"

#include <string>

#include <gtest/gtest.h>

#include "remote/RemoteBusOnPty.h"

using namespace RemoteBusTest;

namespace {

Bytes LcdCommand(const std::string& text)
{
	Bytes bytes;
	bytes.push_back(0xF2);
	for (char character : text)
		bytes.push_back((uint8)character);
	return bytes;
}

class RemoteBusLcdCommand : public RemoteBusOnPty
{
};
class RemoteBusLedCommand : public RemoteBusOnPty
{
};

} // namespace

TEST_F(RemoteBusLcdCommand, PromptsGoSideBySide)
{
	CaptureStdout();
	RB_ShowMessage("Remove floppy   ", "Insert CD, ENTER");
	EXPECT_EQ(GetCapturedStdout(), "");
	EXPECT_EQ(fPty.Receive(33), LcdCommand("Remove floppy   Insert CD, ENTER"));
	EXPECT_STREQ(lcdBuffer, "Remove floppy   Insert CD, ENTER");
}

TEST_F(RemoteBusLcdCommand, LinesAreCutAndPadded)
{
	RB_ShowMessage("A line that is far too long", "");
	EXPECT_EQ(fPty.Receive(33), LcdCommand("A line that is f                "));
	RB_ShowMessage("", "short");
	EXPECT_EQ(fPty.Receive(33), LcdCommand("                short           "));
}

TEST_F(RemoteBusLcdCommand, CharactersAreSubstituted)
{
	RB_ShowMessage("back\\slash", "~x`");
	EXPECT_EQ(fPty.Receive(33), LcdCommand("back slash      ]x[             "));
	// The buffer keeps the text as formatted; only the bytes sent are substituted.
	EXPECT_STREQ(lcdBuffer, "back\\slash      ~x`             ");
}

TEST_F(RemoteBusLcdCommand, RawLcdTextHasNoFixedWidth)
{
	SendLCD(0xF2, "a\\b~c`d, and a text well beyond thirty-two characters");
	std::string text = "a b]c[d, and a text well beyond thirty-two characters";
	EXPECT_EQ(fPty.Receive(1 + text.size()), LcdCommand(text));
}

TEST_F(RemoteBusLcdCommand, EmptyLcdTextSendsTheCommandAlone)
{
	SendLCD(0xF3, "");
	EXPECT_EQ(fPty.Drain(), Bytes(1, 0xF3));
}

TEST_F(RemoteBusLedCommand, LedDataIsSentUnchanged)
{
	const uint8 data[] = {0x5c, 0x60, 0x7e, 0x00, 0xff};
	SendLED(0xA0, data, sizeof(data));
	EXPECT_EQ(fPty.Drain(), (Bytes{0xA0, 0x5c, 0x60, 0x7e, 0x00, 0xff}));
}

TEST_F(RemoteBusLedCommand, LedCommandWithoutDataIsTheCommandAlone)
{
	const uint8 data[] = {1, 2, 3};
	SendLED(0xA1, data, 0);
	SendLED(0xA2, data, -3);
	EXPECT_EQ(fPty.Drain(), (Bytes{0xA1, 0xA2}));
}
