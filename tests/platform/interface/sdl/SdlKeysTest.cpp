#include "interface/sdl/SdlKeys.h"

#include <gtest/gtest.h>

using BPrivate::BeKeyForSdlKey;

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
