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

} // namespace BPrivate
