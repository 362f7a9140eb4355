#pragma once

// The remote bus: the serial link to the remote unit (keys, a 2 x 16 character LCD, LEDs) and its
// byte protocol (doc/remote-protocol.md). The module has no object: its state is the module-level
// data below, declared here so that tests can see and set it. Only the remote-unit thread calls
// the module; its state is unguarded. `port` is built at load and destroyed at exit.

#include <SerialPort.h>
#include <SupportDefs.h>

// The size of every reply buffer, and the longest reply ever read.
static const int32 kPacketBufferSize = 50;
// 32 characters of LCD text and a NUL.
static const int32 kLcdBufferSize = 33;

// A key bit of the status reply: bit `bitNumber` (0 = least significant) of payload byte
// `byteIndex`, which is reply byte `byteIndex` + 1. The table ends at the row whose byteIndex is
// -1.
struct KeyMappingEntry
{
	int32 byteIndex;
	int32 bitNumber;
	char key;
};

extern BSerialPort port;
extern uint8 pollByte;
extern int32 packetSize;
extern uint8 packet[kPacketBufferSize];
extern uint8 lastPacket[kPacketBufferSize];
extern char lcdBuffer[kLcdBufferSize];
extern const KeyMappingEntry validKeyMapping[];

// Finds and opens the first serial device that opens, sets it to 57600 bit/s 8N1 with blocking
// 10 ms reads, and resets the module state. Silent, and leaving the state alone, when none opens.
void RB_Init();
// Tells the send failures not told yet (SendFailureReport.h) and closes the port.
void RB_Quit();
// Resets the module state (poll byte, expected reply length 50, buffers zeroed).
void InitDisplay();

// Sends one byte with one write; a failure prints "ERROR sending byte %02x\n" when it starts, its
// repeats are counted on standard error (SendFailureReport.h).
void RembusSend(uint8 byte);
// One read of the port into `buffer`; the port's result unchanged (bytes read, or an error).
int32 RembusReceive(uint8* buffer, int32 length);

// One poll: sends the poll byte, reads and checks the reply, and returns the key whose bit rose
// since the previous poll, or 0.
char RB_GetKeypress();
// Reads one status reply into `packet`, checks header and checksum, and learns the reply length.
void GetReply();
// The key whose bit rose between `lastPacket` and `packet` (the last row that matches), or 0;
// then `lastPacket` becomes `packet`.
char KeyPressed();

// Shows two lines on the LCD: each cut or padded to 16 characters, substituted, after 0xF2.
void RB_ShowMessage(const char* line1, const char* line2);
// Sends `command`, then `text` up to its NUL with the LCD substitutions.
void SendLCD(uint8 command, const char* text);
// Sends `command`, then the first `length` bytes of `data` unchanged.
void SendLED(uint8 command, const uint8* data, int32 length);
