// Linux key codes to KeyDown bytes with a real keymap (xkeyboard-config's files).

#include "interface/drm/KeyTranslator.h"

#include <linux/input-event-codes.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include <InterfaceDefs.h>

#include <gtest/gtest.h>

using BPrivate::KeyTranslator;

namespace {

// The keys the presses of `codes` give, each released after it; `held` is down meanwhile.
std::vector<std::string> Type(KeyTranslator& translator, std::vector<unsigned> codes, int held = -1)
{
	std::vector<std::string> keys;
	if (held >= 0)
		translator.KeyChanged(held, true, &keys);
	for (unsigned code : codes) {
		translator.KeyChanged(code, true, &keys);
		translator.KeyChanged(code, false, &keys);
	}
	if (held >= 0)
		translator.KeyChanged(held, false, &keys);
	return keys;
}

// XKB_DEFAULT_LAYOUT as the case needs it, unset afterwards.
class Layout
{
public:
	explicit Layout(const char* name) { setenv("XKB_DEFAULT_LAYOUT", name, 1); }
	~Layout() { unsetenv("XKB_DEFAULT_LAYOUT"); }
};

} // namespace

TEST(KeyTranslator, GivesEnterAsTheByteTenAndKeysWithoutTextTheirBeOSBytes)
{
	Layout layout("us");
	KeyTranslator translator;
	ASSERT_TRUE(translator.IsValid());
	const std::string enter(1, B_ENTER);
	EXPECT_EQ(Type(translator, {KEY_ENTER, KEY_KPENTER}), (std::vector<std::string>{enter, enter}));
	EXPECT_EQ(Type(translator, {KEY_LEFT, KEY_ESC, KEY_F5, KEY_BACKSPACE}),
	          (std::vector<std::string>{"\x1c", "\x1b", "\x10", "\x08"}));
	// Ctrl-C is no text; the Ctrl released, a plain c is.
	EXPECT_EQ(Type(translator, {KEY_C}, KEY_LEFTCTRL), std::vector<std::string>{});
	EXPECT_EQ(Type(translator, {KEY_C}), std::vector<std::string>{"c"});
}

TEST(KeyTranslator, TypesWithTheLayoutTheEnvironmentNames)
{
	{
		Layout layout("us");
		KeyTranslator translator;
		EXPECT_EQ(Type(translator, {KEY_Y, KEY_A}, KEY_LEFTSHIFT),
		          (std::vector<std::string>{"Y", "A"}));
	}
	Layout layout("de");
	KeyTranslator translator;
	EXPECT_EQ(Type(translator, {KEY_Y, KEY_SEMICOLON}), (std::vector<std::string>{"z", "ö"}));
}
