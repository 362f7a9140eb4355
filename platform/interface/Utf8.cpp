#include "interface/Utf8.h"

#include <assert.h>

namespace BPrivate {

uint32 DecodeUtf8(const char*& cursor, const char* end)
{
	assert(cursor < end);
	const uint8* bytes = reinterpret_cast<const uint8*>(cursor);
	uint32 first = bytes[0];
	if (first < 0x80) {
		cursor++;
		return first;
	}

	int32 length;
	uint32 codePoint;
	uint32 minimum;
	if ((first & 0xe0) == 0xc0) {
		length = 2;
		codePoint = first & 0x1f;
		minimum = 0x80;
	} else if ((first & 0xf0) == 0xe0) {
		length = 3;
		codePoint = first & 0x0f;
		minimum = 0x800;
	} else if ((first & 0xf8) == 0xf0) {
		length = 4;
		codePoint = first & 0x07;
		minimum = 0x10000;
	} else {
		cursor++;
		return kReplacementCharacter;
	}

	if (end - cursor < length) {
		cursor++;
		return kReplacementCharacter;
	}
	for (int32 i = 1; i < length; i++) {
		if ((bytes[i] & 0xc0) != 0x80) {
			cursor++;
			return kReplacementCharacter;
		}
		codePoint = (codePoint << 6) | (bytes[i] & 0x3f);
	}
	if (codePoint < minimum || codePoint > 0x10ffff ||
	    (codePoint >= 0xd800 && codePoint <= 0xdfff)) {
		cursor++;
		return kReplacementCharacter;
	}
	cursor += length;
	return codePoint;
}

} // namespace BPrivate
