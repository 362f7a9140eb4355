#include "interface/sdl/SdlKeys.h"

namespace BPrivate {

namespace {

// BeOS key bytes (InterfaceDefs.h on BeOS).
enum : uint8
{
	kHome = 1,
	kEnd = 4,
	kInsert = 5,
	kBackspace = 8,
	kTab = 9,
	kEnter = 10,
	kPageUp = 11,
	kPageDown = 12,
	kFunctionKey = 16,
	kEscape = 27,
	kLeftArrow = 28,
	kRightArrow = 29,
	kUpArrow = 30,
	kDownArrow = 31,
	kDelete = 127,
};

struct KeyMapping
{
	SDL_Keycode sdlKey;
	uint8 beKey;
};

constexpr KeyMapping kKeyMappings[] = {
    {SDLK_RETURN, kEnter},        {SDLK_RETURN2, kEnter},    {SDLK_KP_ENTER, kEnter},
    {SDLK_BACKSPACE, kBackspace}, {SDLK_TAB, kTab},          {SDLK_ESCAPE, kEscape},
    {SDLK_LEFT, kLeftArrow},      {SDLK_RIGHT, kRightArrow}, {SDLK_UP, kUpArrow},
    {SDLK_DOWN, kDownArrow},      {SDLK_INSERT, kInsert},    {SDLK_DELETE, kDelete},
    {SDLK_HOME, kHome},           {SDLK_END, kEnd},          {SDLK_PAGEUP, kPageUp},
    {SDLK_PAGEDOWN, kPageDown},
};

bool IsContinuation(unsigned char byte)
{
	return (byte & 0xC0) == 0x80;
}

} // namespace

uint8 BeKeyForSdlKey(SDL_Keycode key)
{
	// BeOS sends every function key as B_FUNCTION_KEY; which one it was is in the message's
	// "key" field, which this layer does not deliver.
	if (key >= SDLK_F1 && key <= SDLK_F12)
		return kFunctionKey;
	for (const KeyMapping& mapping : kKeyMappings) {
		if (mapping.sdlKey == key)
			return mapping.beKey;
	}
	return 0;
}

int32 Utf8CharacterLength(const char* text, int32 available)
{
	if (available <= 0)
		return 0;
	const unsigned char lead = static_cast<unsigned char>(text[0]);
	int32 length;
	uint32 minimum;
	uint32 codePoint;
	if (lead < 0x80)
		return 1;
	if ((lead & 0xE0) == 0xC0) {
		length = 2;
		minimum = 0x80;
		codePoint = lead & 0x1F;
	} else if ((lead & 0xF0) == 0xE0) {
		length = 3;
		minimum = 0x800;
		codePoint = lead & 0x0F;
	} else if ((lead & 0xF8) == 0xF0) {
		length = 4;
		minimum = 0x10000;
		codePoint = lead & 0x07;
	} else
		return 0;
	if (length > available)
		return 0;
	for (int32 i = 1; i < length; i++) {
		const unsigned char byte = static_cast<unsigned char>(text[i]);
		if (!IsContinuation(byte))
			return 0;
		codePoint = (codePoint << 6) | (byte & 0x3F);
	}
	if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
		return 0;
	return length;
}

} // namespace BPrivate
