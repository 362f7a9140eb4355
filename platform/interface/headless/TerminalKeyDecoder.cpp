#include "interface/headless/TerminalKeyDecoder.h"

#include <InterfaceDefs.h>

namespace BPrivate {

namespace {

const uint8 kEsc = 0x1b;

bool IsContinuation(uint8 byte)
{
	return (byte & 0xc0) == 0x80;
}

// The keys whose sequences end in a letter alike after "ESC [" and "ESC O": the arrows, Home
// and End. 0 for any other final byte.
uint8 CursorKey(uint8 final)
{
	switch (final) {
	case 'A':
		return B_UP_ARROW;
	case 'B':
		return B_DOWN_ARROW;
	case 'C':
		return B_RIGHT_ARROW;
	case 'D':
		return B_LEFT_ARROW;
	case 'H':
		return B_HOME;
	case 'F':
		return B_END;
	default:
		return 0;
	}
}

} // namespace

void TerminalKeyDecoder::Feed(const void* data, size_t length, std::vector<TerminalKey>* keys)
{
	const uint8* bytes = static_cast<const uint8*>(data);
	for (size_t i = 0; i < length; i++)
		FeedByte(bytes[i], keys);
}

void TerminalKeyDecoder::EndOfRead(std::vector<TerminalKey>* keys)
{
	// A terminal sends an escape sequence in one write: an ESC that ends a read was typed alone.
	if (fState == kEscape) {
		fState = kGround;
		Emit(B_ESCAPE, keys);
	}
}

void TerminalKeyDecoder::Emit(uint8 byte, std::vector<TerminalKey>* keys)
{
	TerminalKey key = {{(char)byte, 0, 0, 0}, 1};
	keys->push_back(key);
}

void TerminalKeyDecoder::FeedByte(uint8 byte, std::vector<TerminalKey>* keys)
{
	switch (fState) {
	case kGround:
		FeedGround(byte, keys);
		return;

	case kEscape:
		if (byte == '[') {
			fState = kCsi;
			fSequenceLength = 0;
		} else if (byte == 'O') {
			fState = kSs3;
		} else if (byte == kEsc) {
			// The first of two was typed alone.
			Emit(B_ESCAPE, keys);
		} else if (byte < 0x20 || byte == 0x7f) {
			// A control byte ends the sequence; it is a key of its own.
			Emit(B_ESCAPE, keys);
			fState = kGround;
			FeedGround(byte, keys);
		} else {
			// Alt+key and the like: dropped with its ESC. A UTF-8 lead byte goes too, and
			// its continuation bytes are dropped as strays.
			fState = kGround;
		}
		return;

	case kCsi:
		if (byte >= 0x40 && byte <= 0x7e) {
			if (byte == '[' && fSequenceLength == 0) {
				fState = kLinuxFunction;
				return;
			}
			fState = kGround;
			FinishCsi(byte, keys);
		} else if (byte >= 0x20 && byte <= 0x3f) {
			if (fSequenceLength < kMaxSequence)
				fSequence[fSequenceLength++] = (char)byte;
			else
				fState = kCsiDiscard;
		} else {
			// Not part of any sequence: the sequence is dropped, the byte read afresh.
			fState = kGround;
			FeedByte(byte, keys);
		}
		return;

	case kCsiDiscard:
		if (byte >= 0x40 && byte <= 0x7e)
			fState = kGround;
		else if (byte < 0x20 || byte > 0x7e) {
			fState = kGround;
			FeedByte(byte, keys);
		}
		return;

	case kSs3:
		fState = kGround;
		if (byte >= 0x40 && byte <= 0x7e)
			FinishSs3(byte, keys);
		else if (byte < 0x20 || byte > 0x7e)
			FeedByte(byte, keys);
		return;

	case kLinuxFunction:
		fState = kGround;
		if (byte >= 'A' && byte <= 'E')
			Emit(B_FUNCTION_KEY, keys);
		else if (byte < 0x20 || byte > 0x7e)
			FeedByte(byte, keys);
		return;
	}
}

void TerminalKeyDecoder::FeedGround(uint8 byte, std::vector<TerminalKey>* keys)
{
	if (fUtf8Expected > 0 || byte >= 0x80) {
		fAfterCarriageReturn = false;
		FeedUtf8(byte, keys);
		return;
	}
	const bool afterCarriageReturn = fAfterCarriageReturn;
	fAfterCarriageReturn = false;
	switch (byte) {
	case 0x00:
		return;
	case kEsc:
		fState = kEscape;
		return;
	case '\r':
		fAfterCarriageReturn = true;
		Emit(B_ENTER, keys);
		return;
	case '\n':
		if (!afterCarriageReturn)
			Emit(B_ENTER, keys);
		return;
	case 0x7f:
	case 0x08:
		Emit(B_BACKSPACE, keys);
		return;
	default:
		Emit(byte, keys);
		return;
	}
}

void TerminalKeyDecoder::FeedUtf8(uint8 byte, std::vector<TerminalKey>* keys)
{
	if (fUtf8Expected == 0) {
		if (byte >= 0xc2 && byte <= 0xdf)
			fUtf8Expected = 2;
		else if (byte >= 0xe0 && byte <= 0xef)
			fUtf8Expected = 3;
		else if (byte >= 0xf0 && byte <= 0xf4)
			fUtf8Expected = 4;
		else
			return; // a stray continuation byte, or a lead byte no character has
		fUtf8[0] = (char)byte;
		fUtf8Length = 1;
		return;
	}

	bool valid = IsContinuation(byte);
	if (valid && fUtf8Length == 1) {
		// The second byte rules out overlong forms, surrogates and values past U+10FFFF.
		const uint8 lead = (uint8)fUtf8[0];
		if (lead == 0xe0)
			valid = byte >= 0xa0;
		else if (lead == 0xed)
			valid = byte <= 0x9f;
		else if (lead == 0xf0)
			valid = byte >= 0x90;
		else if (lead == 0xf4)
			valid = byte <= 0x8f;
	}
	if (!valid) {
		// The partial character is dropped; the byte starts afresh.
		fUtf8Expected = 0;
		fUtf8Length = 0;
		FeedByte(byte, keys);
		return;
	}
	fUtf8[fUtf8Length++] = (char)byte;
	if (fUtf8Length == fUtf8Expected) {
		TerminalKey key = {{fUtf8[0], fUtf8[1], fUtf8[2], fUtf8[3]}, fUtf8Length};
		keys->push_back(key);
		fUtf8Expected = 0;
		fUtf8Length = 0;
	}
}

void TerminalKeyDecoder::FinishCsi(uint8 final, std::vector<TerminalKey>* keys)
{
	// The first parameter: the key number of "ESC [ n ~", or 1 before modifiers ("1;5A").
	int32 number = 0;
	bool hasNumber = false;
	// A sequence holds up to kMaxSequence digits, more than an int32 takes: a number past 999 is
	// no key's, so it stops growing there rather than overflow.
	for (int32 i = 0; i < fSequenceLength && fSequence[i] >= '0' && fSequence[i] <= '9'; i++) {
		if (number < 1000)
			number = number * 10 + (fSequence[i] - '0');
		hasNumber = true;
	}
	if (uint8 key = CursorKey(final)) {
		Emit(key, keys);
		return;
	}
	switch (final) {
	case 'P':
	case 'Q':
	case 'R':
	case 'S':
		if (hasNumber)
			Emit(B_FUNCTION_KEY, keys);
		return;
	case '~':
		break;
	default:
		return;
	}
	switch (number) {
	case 1:
	case 7:
		Emit(B_HOME, keys);
		return;
	case 2:
		Emit(B_INSERT, keys);
		return;
	case 3:
		Emit(B_DELETE, keys);
		return;
	case 4:
	case 8:
		Emit(B_END, keys);
		return;
	case 5:
		Emit(B_PAGE_UP, keys);
		return;
	case 6:
		Emit(B_PAGE_DOWN, keys);
		return;
	default:
		if ((number >= 11 && number <= 15) || (number >= 17 && number <= 21) || number == 23 ||
		    number == 24)
			Emit(B_FUNCTION_KEY, keys);
		return;
	}
}

void TerminalKeyDecoder::FinishSs3(uint8 final, std::vector<TerminalKey>* keys)
{
	if (uint8 key = CursorKey(final)) {
		Emit(key, keys);
		return;
	}
	switch (final) {
	case 'M':
		Emit(B_ENTER, keys);
		return;
	case 'P':
	case 'Q':
	case 'R':
	case 'S':
		Emit(B_FUNCTION_KEY, keys);
		return;
	default:
		return;
	}
}

} // namespace BPrivate
