#include "remoteBus.h"

#include <assert.h>
#include <stdio.h>
#include <string.h>

#include <OS.h>
#include <SerialPort.h>

#include "SendFailureReport.h"

namespace {

// Sends that fail in a row print their first line and a count (SendFailureReport.h).
SendFailureReport sendFailures;

const uint8 kPollByte = 0x90;
const uint8 kLcdTextCommand = 0xF2;
const bigtime_t kReadTimeout = 10000;

// One character at 57600 bit/s (10 bits): 174 us.
const bigtime_t kCharacterTime = 174;
// How many polls a unit found late is not waited for (see CatchUp).
const int32 kLateUnitPolls = 8;
// How long the rest of a reply cut short is waited for (see ReadRestOfCutReply): longer than the
// pause a USB serial adapter's latency timer (16 ms on the usual ones) can put inside a reply.
const bigtime_t kCutReplyWait = 40000;

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

// --- Reading a reply ---------------------------------------------------------------------------
//
// Which path a reply takes. Before the poll goes out, RB_GetKeypress counts what is already
// waiting: that cannot be this poll's reply.
// - Nothing or less than a whole reply waiting (the unit on time): the plain read in GetReply,
//   one Read per byte up to packetSize, each waiting at most a read time-out. While the length is
//   measured (packetSize 50) the read ends with a time-out, and that gives the length. A read that
//   is right in its header, short and wrong in its sum waits once more, longer, for the rest of a
//   reply cut by an adapter's timer (ReadRestOfCutReply).
// - Length known, whole replies waiting (the unit was late, or the line stalled): CatchUp reads
//   them in turn as older replies, then this poll's own reply if it comes in time.
// - Length still measured, bytes waiting: MeasureStaleReply reads them as one reply on their
//   own, and leaves this poll's reply to the next poll.
// Every reply read is tested by CheckReply; a rejected one is handled by RejectReply, below,
// whichever path read it: a whole reply behind it is carried, counted as waiting, and read first
// by whichever path reads next.

// Bytes already read from the line that begin the next reply: after a rejected reply, a header
// with a whole reply behind it (see RejectReply). They are read before anything still on the line.
uint8 carried[kPacketBufferSize];
int32 carriedCount = 0;

// Takes the first `count` carried bytes off.
void DropCarried(int32 count)
{
	carriedCount -= count;
	memmove(carried, carried + count, (size_t)carriedCount);
}

// The next byte of the line: a carried one, or one Read waiting at most the port's time-out.
bool ReadLineByte(uint8* byte)
{
	if (carriedCount == 0)
		return port.Read(byte, 1) == 1;
	*byte = carried[0];
	DropCarried(1);
	return true;
}

// Puts `count` bytes back in front of the line's next byte.
void CarryBack(const uint8* bytes, int32 count)
{
	assert(count >= 0 && carriedCount + count <= kPacketBufferSize);
	memmove(carried + count, carried, (size_t)carriedCount);
	memcpy(carried, bytes, (size_t)count);
	carriedCount += count;
}

// Whole replies found waiting before the current poll was sent (bytes, while the length is still
// being measured), and how many polls to go before a unit found late is waited for again.
int32 staleReplies = 0;
int32 staleBytes = 0;
int32 latePollsToGo = 0;

// The bytes waiting to be read now, carried ones included, without waiting for more.
int32 BytesWaiting()
{
	port.SetBlocking(false);
	ssize_t waiting = port.WaitForInput();
	port.SetBlocking(true);
	return carriedCount + (waiting > 0 ? (int32)waiting : 0);
}

// The key whose bit rose between `lastPacket` and `packet` (the last row that matches), or 0.
char RisingKey()
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
	return key;
}

// The bytes waiting now, once they have stopped coming in: a reply still arriving at the line's
// pace, read now, would be cut. More within 2 ms is taken as the same reply; a read time-out at
// most.
int32 SettledBytesWaiting()
{
	const bigtime_t kSettle = 2000;
	const bigtime_t deadline = system_time() + kReadTimeout;
	int32 waiting = BytesWaiting();
	while (waiting > 0 && waiting < kPacketBufferSize && system_time() < deadline) {
		snooze(kSettle);
		const int32 now = BytesWaiting();
		if (now == waiting)
			break;
		waiting = now;
	}
	return waiting;
}

// Whether a whole reply is waiting, carried bytes included, or has come in within a read time-out
// at the line's pace. Nothing is read.
bool WholeReplyWaits()
{
	const bigtime_t deadline = system_time() + kReadTimeout;
	for (;;) {
		int32 waiting = BytesWaiting();
		if (waiting >= packetSize)
			return true;
		if (system_time() >= deadline)
			return false;
		snooze(kCharacterTime * (packetSize - waiting));
	}
}

// Whether the reply to the poll just sent comes in whole within a read time-out of its first byte,
// after the port's read time-out for that first byte. Nothing is read.
bool FreshReplyComes()
{
	if (carriedCount == 0 && port.WaitForInput() <= 0)
		return false;
	return WholeReplyWaits();
}

// A reply that failed its header or checksum test is not the unit's key state: put the state
// of the previous poll back, so that key decoding finds no edge in the rejected bytes, neither
// now nor when a later poll gets no answer and leaves `packet` as it is.
//
// Nor is the next reply known to start where the rejected one was meant to end. A reply cut by
// a pause longer than the read time-out leaves its rest on the line, and a read that began inside
// a reply takes the head of the next one with it; read from there, every later reply would be out
// of step, each rejected and the unit's keys never seen. So what follows is dropped as it comes,
// each byte waiting at most a read time-out, until the line falls quiet; at most two buffers'
// worth, so that a unit that never stops cannot hold up the pass.
//
// Except a whole later reply. Once the length is known, a header byte (among the rejected bytes
// after the first, or among those dropped) with a whole reply's worth of bytes from it on, there
// or come within a read time-out, is taken for the start of the next reply: it and what follows
// are kept, carried, to be read and tested as that reply. Garbage has header bytes too, but rarely
// a whole reply's worth behind them while the unit is silent; where it has, the reply read from
// there is tested like any other.
void RejectReply(int32 count)
{
	const bool lengthKnown = packetSize < kPacketBufferSize;
	// Carries `length` bytes from a header on; takes them back unless a whole reply follows.
	auto keepIfWhole = [](const uint8* header, int32 length) {
		CarryBack(header, length);
		if (WholeReplyWaits())
			return true;
		DropCarried(length);
		return false;
	};
	bool kept = false;
	if (lengthKnown) {
		int32 next = 1;
		while (next < count && packet[next] != pollByte)
			next++;
		// A later header among these bytes has fewer behind it: the first one decides.
		if (next < count)
			kept = keepIfWhole(&packet[next], count - next);
	}
	uint8 byte;
	for (int32 dropped = 0; !kept && dropped < 2 * kPacketBufferSize && ReadLineByte(&byte);
	     dropped++) {
		if (lengthKnown && byte == pollByte)
			kept = keepIfWhole(&byte, 1);
	}
	memcpy(packet, lastPacket, sizeof(packet));
}

bool CheckReply(int32 count);

// Reads into `packet` from position `count` on, the carried bytes first, then one Read of one
// byte at a time, each waiting at most the port's time-out, until `limit` bytes are there or a
// Read brings none. The new count.
int32 ReadInto(int32 count, int32 limit)
{
	while (count < limit && ReadLineByte(&packet[count]))
		count++;
	return count;
}

bool SumIsZero(int32 count)
{
	uint32 sum = 0;
	for (int32 index = 0; index < count; index++)
		sum += packet[index];
	return (sum & 0x7f) == 0;
}

// A USB serial adapter hands the bytes it receives over on its latency timer, so a reply that
// spans a tick comes in two pieces up to a timer period apart: longer than the read time-out,
// which then ends the reply early. Read alone, the first piece fails its checksum and the second
// is dropped with it, a pass lost; and where the tick keeps falling at the same place in the reply
// (the passes keep step with the timer), every reply is lost and the unit is never measured. So a
// reply that is right in its header, shorter than expected and wrong in its sum is waited for
// once more, longer; if more bytes come, it is read on as usual. A whole reply never waits here,
// and a reply shorter than a timer period is cut at most once.
void ReadRestOfCutReply(int32* count)
{
	if (*count == 0 || *count >= packetSize || packet[0] != pollByte || SumIsZero(*count))
		return;
	port.SetTimeout(kCutReplyWait);
	const bool more = port.Read(&packet[*count], 1) == 1;
	port.SetTimeout(kReadTimeout);
	if (more)
		*count = ReadInto(*count + 1, packetSize);
}

// A unit that answered late leaves its reply on the line, and the next poll reads it as its own:
// the link is a reply behind, and each later late reply puts it one further behind, without end
// (until the device's input overflows). So the whole replies found waiting before a poll are
// older than it: each is read and decoded as if it had been polled, its key state becoming the
// last one, until a key rises in one (then that one is this poll's reply, and the rest waits for
// the next poll). When the last of them yields no key, the poll waits for its own reply as usual
// if that comes in time, and takes the waiting one otherwise: a unit always late stays one reply
// behind, never more, and is not waited for again for a few polls. Less than a whole reply
// waiting is a tail, read as the start of the reply as before. True when this poll's reply has
// been read (or rejected) here.
bool CatchUp()
{
	for (int32 index = 0; index < staleReplies; index++) {
		const int32 count = ReadInto(0, packetSize);
		if (!CheckReply(count) || RisingKey() != 0)
			return true;
		if (index + 1 < staleReplies) {
			memcpy(lastPacket, packet, sizeof(lastPacket));
			continue;
		}
		if (latePollsToGo > 0) {
			latePollsToGo--;
			return true;
		}
		if (!FreshReplyComes()) {
			latePollsToGo = kLateUnitPolls;
			return true;
		}
		memcpy(lastPacket, packet, sizeof(lastPacket));
	}
	return false;
}

// While the length is measured, a reply ends only with a read time-out. A unit that answered a
// poll later than that (an adapter's latency timer is enough) leaves its reply waiting, and the
// next poll would read it and its own reply run together, as one reply of a length no unit has,
// pass after pass once the passes keep step with the adapter. So what was waiting before the poll,
// once it stopped coming in, is read as the reply on its own, and measured; the reply to this
// poll is left to the next one.
// True when this poll's reply has been read (or rejected) here.
bool MeasureStaleReply()
{
	if (staleBytes == 0)
		return false;
	CheckReply(ReadInto(0, staleBytes < packetSize ? staleBytes : packetSize));
	return true;
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

	carriedCount = 0;
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
	sendFailures.Flush();
	port.Close();
	carriedCount = 0;
}

void InitDisplay()
{
	pollByte = kPollByte;
	packetSize = kPacketBufferSize;
	memset(lcdBuffer, 0, sizeof(lcdBuffer));
	memset(packet, 0, sizeof(packet));
	memset(lastPacket, 0, sizeof(lastPacket));
	staleReplies = 0;
	staleBytes = 0;
	latePollsToGo = 0;
}

void RembusSend(uint8 byte)
{
	ssize_t written = port.Write(&byte, 1);
	if (written == 1)
		sendFailures.Succeeded();
	else
		sendFailures.Failed(byte, written);
}

int32 RembusReceive(uint8* buffer, int32 length)
{
	// A negative length would become a huge size_t; read nothing instead.
	return (int32)port.Read(buffer, length > 0 ? (size_t)length : 0);
}

char RB_GetKeypress()
{
	// Counted before the poll goes out: what is waiting then cannot be its reply. In whole replies
	// once the length is known (see CatchUp), in bytes while it is measured (MeasureStaleReply).
	staleReplies = 0;
	staleBytes = 0;
	if (packetSize > 0 && packetSize < kPacketBufferSize)
		staleReplies = BytesWaiting() / packetSize;
	else if (packetSize == kPacketBufferSize)
		staleBytes = SettledBytesWaiting();
	RembusSend(pollByte);
	GetReply();
	return KeyPressed();
}

void GetReply()
{
	// Whatever the unit sends, no poll reads past the reply buffer.
	assert(packetSize >= 0 && packetSize <= kPacketBufferSize);
	if (CatchUp() || MeasureStaleReply())
		return;

	// One Read per byte, each waiting at most the read time-out: the first reply after RB_Init
	// ends in a time-out, which is how its length is learnt. Bytes beyond packetSize stay queued
	// and are read as the start of the next reply, unless this one is rejected.
	int32 count = ReadInto(0, packetSize);
	ReadRestOfCutReply(&count);
	CheckReply(count);
}

namespace {

// Tests the `count` bytes read into `packet`: reports and rejects a bad reply, learns the length
// from a good short one. Whether the reply is good.
bool CheckReply(int32 count)
{
	if (count == 0)
		return false;

	if (packet[0] != pollByte) {
		printf("Unknown header type %02x\n", packet[0]);
		RejectReply(count);
		return false;
	}

	if (!SumIsZero(count)) {
		printf("Invalid checksum\n");
		RejectReply(count);
		return false;
	}

	if (count == packetSize)
		return true;

	// A good reply shorter than expected: its length is the unit's (it can only go down). The
	// reply becomes the key state without yielding keys.
	packetSize = count;
	AnnounceModel(count);
	memcpy(lastPacket, packet, sizeof(lastPacket));
	return true;
}

} // namespace

char KeyPressed()
{
	char key = RisingKey();
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
