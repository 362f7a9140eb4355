#include "unit-sim/StatusReply.h"

namespace UnitSim {

size_t ReplySize(Model model)
{
	return model == Model::Km3 ? 19 : 27;
}

const char* ModelName(Model model)
{
	return model == Model::Km3 ? "km3" : "km3ii";
}

KeyBit KeyBitFor(Model model, Key key)
{
	if (key == Key::Backslash)
		return KeyBit{17, 0x04};
	return model == Model::Km3 ? KeyBit{11, 0x08} : KeyBit{21, 0x01};
}

std::vector<uint8_t> BuildStatusReply(Model model, KeySet heldKeys)
{
	std::vector<uint8_t> reply(ReplySize(model), 0);
	reply[0] = kPollByte;
	for (Key key : {Key::Enter, Key::Backslash}) {
		if ((heldKeys & KeyFlag(key)) != 0) {
			KeyBit bit = KeyBitFor(model, key);
			reply[bit.byte] |= bit.mask;
		}
	}
	SealChecksum(reply);
	return reply;
}

void SealChecksum(std::vector<uint8_t>& reply)
{
	if (reply.empty())
		return;
	reply.back() = 0;
	unsigned residue = ChecksumResidue(reply.data(), reply.size());
	reply.back() = (uint8_t)((128 - residue) & 0x7f);
}

unsigned ChecksumResidue(const uint8_t* bytes, size_t length)
{
	unsigned sum = 0;
	for (size_t index = 0; index < length; index++)
		sum += bytes[index];
	return sum & 0x7f;
}

} // namespace UnitSim
