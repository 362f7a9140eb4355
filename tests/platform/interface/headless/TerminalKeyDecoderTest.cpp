#include "interface/headless/TerminalKeyDecoder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include <InterfaceDefs.h>

using BPrivate::TerminalKey;
using BPrivate::TerminalKeyDecoder;

namespace {

// Each key as a string of its bytes. Every string of `reads` is one read.
std::vector<std::string> Decode(const std::vector<std::string>& reads)
{
	TerminalKeyDecoder decoder;
	std::vector<TerminalKey> keys;
	for (const std::string& read : reads) {
		decoder.Feed(read.data(), read.size(), &keys);
		decoder.EndOfRead(&keys);
	}
	std::vector<std::string> result;
	for (const TerminalKey& key : keys)
		result.push_back(std::string(key.bytes, key.length));
	return result;
}

std::vector<std::string> Decode(const std::string& read)
{
	return Decode(std::vector<std::string>{read});
}

std::string Byte(int value)
{
	return std::string(1, (char)value);
}

using Keys = std::vector<std::string>;

} // namespace

TEST(TerminalKeyDecoder, CarriageReturnAndLineFeedAreEnter)
{
	EXPECT_EQ(Keys{Byte(B_ENTER)}, Decode("\r"));
	EXPECT_EQ(Keys{Byte(B_ENTER)}, Decode("\n"));
	EXPECT_EQ(Keys{Byte(B_ENTER)}, Decode("\r\n"));
	EXPECT_EQ((Keys{Byte(B_ENTER), Byte(B_ENTER)}), Decode("\r\r"));
	EXPECT_EQ((Keys{Byte(B_ENTER), Byte(B_ENTER)}), Decode("\n\n"));
	// CR LF split between two reads is still one key.
	EXPECT_EQ(Keys{Byte(B_ENTER)}, Decode(Keys{"\r", "\n"}));
}

TEST(TerminalKeyDecoder, BackspaceAndTab)
{
	EXPECT_EQ(Keys{Byte(B_BACKSPACE)}, Decode("\x7f"));
	EXPECT_EQ(Keys{Byte(B_BACKSPACE)}, Decode("\x08"));
	EXPECT_EQ(Keys{Byte(B_TAB)}, Decode("\t"));
}

TEST(TerminalKeyDecoder, ArrowsInBothCursorModes)
{
	EXPECT_EQ((Keys{Byte(B_UP_ARROW), Byte(B_DOWN_ARROW), Byte(B_RIGHT_ARROW), Byte(B_LEFT_ARROW)}),
	          Decode("\x1b[A\x1b[B\x1b[C\x1b[D"));
	EXPECT_EQ((Keys{Byte(B_UP_ARROW), Byte(B_DOWN_ARROW), Byte(B_RIGHT_ARROW), Byte(B_LEFT_ARROW)}),
	          Decode("\x1bOA\x1bOB\x1bOC\x1bOD"));
	// Modifiers are accepted and ignored.
	EXPECT_EQ(Keys{Byte(B_UP_ARROW)}, Decode("\x1b[1;5A"));
}

TEST(TerminalKeyDecoder, HomeAndEndInEveryForm)
{
	for (const char* home : {"\x1b[H", "\x1b[1~", "\x1bOH", "\x1b[7~"})
		EXPECT_EQ(Keys{Byte(B_HOME)}, Decode(home)) << home + 1;
	for (const char* end : {"\x1b[F", "\x1b[4~", "\x1bOF", "\x1b[8~"})
		EXPECT_EQ(Keys{Byte(B_END)}, Decode(end)) << end + 1;
}

TEST(TerminalKeyDecoder, EditingAndPageKeys)
{
	EXPECT_EQ(Keys{Byte(B_INSERT)}, Decode("\x1b[2~"));
	EXPECT_EQ(Keys{Byte(B_DELETE)}, Decode("\x1b[3~"));
	EXPECT_EQ(Keys{Byte(B_PAGE_UP)}, Decode("\x1b[5~"));
	EXPECT_EQ(Keys{Byte(B_PAGE_DOWN)}, Decode("\x1b[6~"));
}

TEST(TerminalKeyDecoder, FunctionKeysInEveryForm)
{
	for (const char* key :
	     {"\x1bOP", "\x1bOQ", "\x1bOR", "\x1bOS", "\x1b[11~", "\x1b[15~", "\x1b[17~", "\x1b[21~",
	      "\x1b[23~", "\x1b[24~", "\x1b[1;2P", "\x1b[[A", "\x1b[[E"})
		EXPECT_EQ(Keys{Byte(B_FUNCTION_KEY)}, Decode(key)) << key + 1;
	EXPECT_EQ(Keys{}, Decode("\x1b[16~"));
	EXPECT_EQ(Keys{}, Decode("\x1b[25~"));
}

TEST(TerminalKeyDecoder, LoneEscapeAtTheEndOfAReadIsTheEscapeKey)
{
	EXPECT_EQ(Keys{Byte(B_ESCAPE)}, Decode("\x1b"));
	EXPECT_EQ((Keys{Byte(B_ESCAPE), "a"}), Decode(Keys{"\x1b", "a"}));
	EXPECT_EQ((Keys{Byte(B_ESCAPE), Byte(B_UP_ARROW)}), Decode("\x1b\x1b[A"));
	EXPECT_EQ((Keys{Byte(B_ESCAPE), Byte(B_ENTER)}), Decode("\x1b\r"));
}

TEST(TerminalKeyDecoder, UnknownSequencesAreDroppedWhole)
{
	EXPECT_EQ((Keys{"x"}), Decode("\x1b[99~x"));
	EXPECT_EQ((Keys{"y"}), Decode("\x1b[?25hy"));
	EXPECT_EQ((Keys{"z"}), Decode("\x1bOzz"));
	// Alt+key: ESC and the key go together.
	EXPECT_EQ((Keys{"b"}), Decode("\x1b"
	                              "ab"));
}

TEST(TerminalKeyDecoder, OverlongSequencesAreSwallowedUpToTheirFinalByte)
{
	std::string sequence = "\x1b[" + std::string(500, '1') + "~k";
	EXPECT_EQ(Keys{"k"}, Decode(sequence));
}

TEST(TerminalKeyDecoder, AControlByteInsideASequenceEndsIt)
{
	EXPECT_EQ((Keys{Byte(B_ENTER)}), Decode("\x1b[1\r"));
	EXPECT_EQ((Keys{Byte(B_UP_ARROW)}), Decode("\x1b[1\x1b[A"));
}

TEST(TerminalKeyDecoder, Utf8CharactersPassWhole)
{
	EXPECT_EQ((Keys{"a", "\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80"}),
	          Decode("a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80"));
	// Split between reads.
	EXPECT_EQ((Keys{"\xe2\x82\xac"}), Decode(Keys{"\xe2", "\x82\xac"}));
}

TEST(TerminalKeyDecoder, InvalidUtf8IsDropped)
{
	EXPECT_EQ(Keys{"a"}, Decode("\x80"
	                            "a"));
	EXPECT_EQ(Keys{"a"}, Decode("\xc3"
	                            "a"));
	EXPECT_EQ(Keys{"a"}, Decode("\xc0\xaf"
	                            "a")); // overlong
	EXPECT_EQ(Keys{"a"}, Decode("\xe0\x80\xaf"
	                            "a")); // overlong
	EXPECT_EQ(Keys{"a"}, Decode("\xed\xa0\x80"
	                            "a")); // surrogate
	EXPECT_EQ(Keys{"a"}, Decode("\xf4\x90\x80\x80"
	                            "a")); // past U+10FFFF
	EXPECT_EQ(Keys{"a"}, Decode("\xff\xfe"
	                            "a"));
}

TEST(TerminalKeyDecoder, NulIsDroppedAndOtherControlBytesPass)
{
	EXPECT_EQ((Keys{"a", Byte(1)}), Decode(std::string("\0a\x01", 3)));
}

TEST(TerminalKeyDecoder, RandomInputGivesOnlyWellFormedKeys)
{
	std::mt19937 random(12345);
	TerminalKeyDecoder decoder;
	std::vector<TerminalKey> keys;
	for (int round = 0; round < 2000; round++) {
		std::string read;
		int length = (int)(random() % 16);
		for (int i = 0; i < length; i++) {
			// Biased towards the bytes that drive the state machine.
			static const char kInteresting[] = "\x1b[O~;19AHP\r\n\xc3\xe2\xf0\x80\xbf";
			read +=
			    random() % 2 ? kInteresting[random() % (sizeof(kInteresting) - 1)] : (char)random();
		}
		decoder.Feed(read.data(), read.size(), &keys);
		decoder.EndOfRead(&keys);
	}
	for (const TerminalKey& key : keys) {
		ASSERT_GE(key.length, 1);
		ASSERT_LE(key.length, 4);
		EXPECT_NE('\0', key.bytes[0]);
		if (key.length > 1) {
			EXPECT_GE((uint8)key.bytes[0], 0xc2);
			for (int i = 1; i < key.length; i++)
				EXPECT_EQ(0x80, (uint8)key.bytes[i] & 0xc0);
		} else {
			EXPECT_LT((uint8)key.bytes[0], 0x80);
		}
	}
}
