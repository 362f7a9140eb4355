#pragma once

// What the simulated unit says on the link: the bytes of its status replies.

#include <stddef.h>
#include <stdint.h>

#include <vector>

namespace UnitSim {

// The poll byte, which is also the header of every status reply.
static const uint8_t kPollByte = 0x90;
// The LCD text command, followed by 32 text bytes (16 for each line).
static const uint8_t kLcdTextCommand = 0xF2;
static const size_t kLcdTextLength = 32;
static const size_t kLcdLineLength = 16;

enum class Model
{
	Km3,
	Km3II
};
enum class Key
{
	Enter,
	Backslash
};

// The reply length of the model: 19 bytes (Classic KM-3) or 27 (KM-3II).
size_t ReplySize(Model model);
const char* ModelName(Model model);

// Where a key is in a reply: ENTER is bit 3 of byte 11 on the KM-3 and bit 0 of byte 21 on the
// KM-3II; backslash is bit 2 of byte 17 on both.
struct KeyBit
{
	size_t byte;
	uint8_t mask;
};
KeyBit KeyBitFor(Model model, Key key);

// A bit set of held keys.
typedef unsigned KeySet;
inline KeySet KeyFlag(Key key)
{
	return 1u << static_cast<unsigned>(key);
}

// A good reply of the model: the header, the bits of the held keys, and as last byte the checksum
// that brings the sum of all bytes to 0 modulo 128.
std::vector<uint8_t> BuildStatusReply(Model model, KeySet heldKeys);

// Sets the last byte so that the sum of all bytes is 0 modulo 128.
void SealChecksum(std::vector<uint8_t>& reply);
// The low 7 bits of the sum of the bytes: 0 for a reply that passes the checksum test.
unsigned ChecksumResidue(const uint8_t* bytes, size_t length);

} // namespace UnitSim
