#include "remoteBus.h"

#include <assert.h>
#include <stdio.h>
#include <string.h>

#include <OS.h>
#include <SerialPort.h>

namespace {

const uint8 kPollByte = 0x90;
const uint8 kLcdTextCommand = 0xF2;
const bigtime_t kReadTimeout = 10000;

const int32 kClassicReplySize = 19;
const int32 kSecondModelReplySize = 27;

// The LCD's character set has other glyphs at these three codes: the text's backslash is shown
// as a blank, and ` and ~ as the brackets '[' and ']'.
char LcdCharacter(char character)
{
	switch (character) {
	case '\\':
		return ' ';
	case '`':
		return '[';
	case '~':
		return ']';
	default:
		return character;
	}
}

void AnnounceModel(int32 replySize)
{
	if (replySize == kClassicReplySize)
		printf("Detected Classic KM-3\n");
	else if (replySize == kSecondModelReplySize)
		printf("Detected KM-3II\n");
	else
		printf("Unknown packet size %d\n", (int)replySize);
}

// A reply that failed its header or checksum test is not the unit's key state: put the state
// of the previous poll back, so that key decoding finds no edge in the rejected bytes, neither
// now nor when a later poll gets no answer and leaves `packet` as it is.
//
// Nor is what follows it on the line the start of the next reply. A reply cut by a pause longer
// than the read time-out leaves its rest there; read as the start of the next one, it would put
// every later reply out of step, each rejected and the unit's keys never seen. So what the unit
// sends until the line falls quiet for a read time-out is dropped too; at most two buffers' worth,
// so that a unit that never stops cannot hold up the pass.
void RejectReply()
{
	memcpy(packet, lastPacket, sizeof(packet));
	uint8 dropped;
	for (int32 count = 0; count < 2 * kPacketBufferSize; count++) {
		if (port.Read(&dropped, 1) != 1)
			break;
	}
}

} // namespace

BSerialPort port;
uint8 pollByte = 0;
int32 packetSize = 0;
uint8 packet[kPacketBufferSize] = {};
uint8 lastPacket[kPacketBufferSize] = {};
char lcdBuffer[kLcdBufferSize] = {};

const KeyMappingEntry validKeyMapping[] = {
    {10, 3, '\n'},
    {20, 0, '\n'},
    {16, 2, '\\'},
    {-1, -1, 0},
};

void RB_Init()
{
	char name[B_OS_NAME_LENGTH];
	bool opened = false;
	int32 count = port.CountDevices();
	for (int32 index = 0; index < count; index++) {
		memset(name, 0, sizeof(name));
		port.GetDeviceName(index, name, sizeof(name));
		port.SetFlowControl(B_NOFLOW_CONTROL);
		if (port.Open(name) > 0) {
			opened = true;
			break;
		}
	}
	if (!opened)
		return;

	printf("RB: Using serial port %s\n", name);
	port.SetDataRate(B_57600_BPS);
	port.SetDataBits(B_DATA_BITS_8);
	port.SetStopBits(B_STOP_BITS_1);
	port.SetParityMode(B_NO_PARITY);
	port.SetBlocking(true);
	port.SetTimeout(kReadTimeout);
	InitDisplay();
}

void RB_Quit()
{
	port.Close();
}

void InitDisplay()
{
	pollByte = kPollByte;
	packetSize = kPacketBufferSize;
	memset(lcdBuffer, 0, sizeof(lcdBuffer));
	memset(packet, 0, sizeof(packet));
	memset(lastPacket, 0, sizeof(lastPacket));
}

void RembusSend(uint8 byte)
{
	if (port.Write(&byte, 1) != 1)
		printf("ERROR sending byte %02x\n", byte);
}

int32 RembusReceive(uint8* buffer, int32 length)
{
	// A negative length would become a huge size_t; read nothing instead.
	return (int32)port.Read(buffer, length > 0 ? (size_t)length : 0);
}

char RB_GetKeypress()
{
	RembusSend(pollByte);
	GetReply();
	return KeyPressed();
}

void GetReply()
{
	// Whatever the unit sends, no poll reads past the reply buffer.
	assert(packetSize >= 0 && packetSize <= kPacketBufferSize);

	// One Read per byte, each waiting at most the read time-out: the first reply after RB_Init
	// ends in a time-out, which is how its length is learnt. Bytes beyond packetSize stay queued
	// and are read as the start of the next reply, unless this one is rejected.
	int32 count = 0;
	while (count < packetSize) {
		if (port.Read(&packet[count], 1) != 1)
			break;
		count++;
	}
	if (count == 0)
		return;

	if (packet[0] != pollByte) {
		printf("Unknown header type %02x\n", packet[0]);
		RejectReply();
		return;
	}

	uint32 sum = 0;
	for (int32 index = 0; index < count; index++)
		sum += packet[index];
	if ((sum & 0x7f) != 0) {
		printf("Invalid checksum\n");
		RejectReply();
		return;
	}

	if (count == packetSize)
		return;

	// A good reply shorter than expected: its length is the unit's (it can only go down). The
	// reply becomes the key state without yielding keys.
	packetSize = count;
	AnnounceModel(count);
	memcpy(lastPacket, packet, sizeof(lastPacket));
}

char KeyPressed()
{
	char key = 0;
	for (const KeyMappingEntry* row = validKeyMapping; row->byteIndex != -1; row++) {
		int32 position = row->byteIndex + 1;
		assert(position > 0 && position < kPacketBufferSize);
		assert(row->bitNumber >= 0 && row->bitNumber < 8);
		uint8 mask = (uint8)(1 << row->bitNumber);
		uint8 now = packet[position];
		uint8 before = lastPacket[position];
		// A bit that went from 0 to 1; a later row overrides an earlier one.
		if (((now ^ before) & mask) != 0 && (now & mask) != 0)
			key = row->key;
	}
	memcpy(lastPacket, packet, sizeof(lastPacket));
	return key;
}

void RB_ShowMessage(const char* line1, const char* line2)
{
	snprintf(lcdBuffer, sizeof(lcdBuffer), "%-16.16s%-16.16s", line1, line2);
	RembusSend(kLcdTextCommand);
	for (const char* character = lcdBuffer; *character != '\0'; character++)
		RembusSend((uint8)LcdCharacter(*character));
}

void SendLCD(uint8 command, const char* text)
{
	RembusSend(command);
	for (const char* character = text; *character != '\0'; character++)
		RembusSend((uint8)LcdCharacter(*character));
}

void SendLED(uint8 command, const uint8* data, int32 length)
{
	RembusSend(command);
	for (int32 index = 0; index < length; index++)
		RembusSend(data[index]);
}
