#include "interface/sdl/SdlKeys.h"

#include <gtest/gtest.h>

using BPrivate::BeKeyForSdlKey;
using BPrivate::Utf8CharacterLength;

TEST(SdlKeys, ReturnAndKeypadEnterAreBothTheEnterByte)
{
	EXPECT_EQ(BeKeyForSdlKey(SDLK_RETURN), 10);
	EXPECT_EQ(BeKeyForSdlKey(SDLK_KP_ENTER), 10);
}

TEST(SdlKeys, KeysWithoutTextGetTheirBeOSBytes)
{
	EXPECT_EQ(BeKeyForSdlKey(SDLK_BACKSPACE), 8);
	EXPECT_EQ(BeKeyForSdlKey(SDLK_TAB), 9);
	EXPECT_EQ(BeKeyForSdlKey(SDLK_ESCAPE), 27);
	EXPECT_EQ(BeKeyForSdlKey(SDLK_LEFT), 28);
	EXPECT_EQ(BeKeyForSdlKey(SDLK_RIGHT), 29);
	EXPECT_EQ(BeKeyForSdlKey(SDLK_UP), 30);
	EXPECT_EQ(BeKeyForSdlKey(SDLK_DOWN), 31);
	EXPECT_EQ(BeKeyForSdlKey(SDLK_INSERT), 5);
	EXPECT_EQ(BeKeyForSdlKey(SDLK_DELETE), 127);
	EXPECT_EQ(BeKeyForSdlKey(SDLK_HOME), 1);
	EXPECT_EQ(BeKeyForSdlKey(SDLK_END), 4);
	EXPECT_EQ(BeKeyForSdlKey(SDLK_PAGEUP), 11);
	EXPECT_EQ(BeKeyForSdlKey(SDLK_PAGEDOWN), 12);
}

TEST(SdlKeys, EveryFunctionKeyIsTheFunctionKeyByte)
{
	for (SDL_Keycode key = SDLK_F1; key <= SDLK_F12; key++)
		EXPECT_EQ(BeKeyForSdlKey(key), 16) << SDL_GetKeyName(key);
	EXPECT_EQ(BeKeyForSdlKey(SDLK_F13), 0);
}

TEST(SdlKeys, PrintableKeysGiveNothingSinceTheirTextComesSeparately)
{
	EXPECT_EQ(BeKeyForSdlKey(SDLK_a), 0);
	EXPECT_EQ(BeKeyForSdlKey(SDLK_SPACE), 0);
	EXPECT_EQ(BeKeyForSdlKey(SDLK_BACKSLASH), 0);
	EXPECT_EQ(BeKeyForSdlKey(SDLK_KP_1), 0);
	EXPECT_EQ(BeKeyForSdlKey(SDLK_LSHIFT), 0);
}

TEST(SdlKeys, Utf8CharactersAreOneToFourBytesLong)
{
	EXPECT_EQ(Utf8CharacterLength("a", 1), 1);
	EXPECT_EQ(Utf8CharacterLength("\xC3\xA9", 2), 2);         // é
	EXPECT_EQ(Utf8CharacterLength("\xE2\x82\xAC", 3), 3);     // €
	EXPECT_EQ(Utf8CharacterLength("\xF0\x9F\x98\x80", 4), 4); // U+1F600
	EXPECT_EQ(Utf8CharacterLength("\xC3\xA9xyz", 5), 2);
}

TEST(SdlKeys, MalformedUtf8IsNoCharacter)
{
	EXPECT_EQ(Utf8CharacterLength("", 0), 0);
	EXPECT_EQ(Utf8CharacterLength("\xA9", 1), 0);             // continuation byte alone
	EXPECT_EQ(Utf8CharacterLength("\xC3", 1), 0);             // cut short
	EXPECT_EQ(Utf8CharacterLength("\xE2\x82\xAC", 2), 0);     // cut short by `available`
	EXPECT_EQ(Utf8CharacterLength("\xC3x", 2), 0);            // no continuation
	EXPECT_EQ(Utf8CharacterLength("\xC0\xAF", 2), 0);         // overlong '/'
	EXPECT_EQ(Utf8CharacterLength("\xED\xA0\x80", 3), 0);     // surrogate
	EXPECT_EQ(Utf8CharacterLength("\xF4\x90\x80\x80", 4), 0); // past U+10FFFF
	EXPECT_EQ(Utf8CharacterLength("\xFF", 1), 0);
}
