// Inputs the key decoder's fuzz target (fuzz/TerminalKeysFuzzer.cpp) found faults with, fed the
// same way: in reads of the sizes the target chose, each read ended with EndOfRead.

#include "interface/headless/TerminalKeyDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using BPrivate::TerminalKey;
using BPrivate::TerminalKeyDecoder;

namespace {

// Each key as a string of its bytes; `data` is cut into reads of `sizes` in turn.
std::vector<std::string> DecodeInReads(const std::string& data, const std::vector<size_t>& sizes)
{
	TerminalKeyDecoder decoder;
	std::vector<TerminalKey> keys;
	size_t offset = 0;
	for (size_t read = 0; offset < data.size(); read++) {
		size_t chunk = std::min(sizes[read % sizes.size()], data.size() - offset);
		decoder.Feed(data.data() + offset, chunk, &keys);
		decoder.EndOfRead(&keys);
		offset += chunk;
	}
	std::vector<std::string> result;
	for (const TerminalKey& key : keys)
		result.push_back(std::string(key.bytes, key.length));
	return result;
}

} // namespace

// Ten digits of a CSI parameter overflowed the key number (signed overflow, caught by UBSan).
TEST(TerminalKeyDecoderFuzzFindings, TenDigitParameterIsDroppedWithoutOverflow)
{
	// The fuzzer's input: byte 0 chose one size byte, 0x65 (reads of 6 bytes); then the terminal.
	const std::string found =
	    std::string("\x1b\x05\xec#\x1b[8888888888i;\0", 19) + std::string(35, '8') + "===";
	std::vector<std::string> keys = DecodeInReads(found, {6});
	for (const std::string& key : keys) {
		EXPECT_GE(key.size(), 1u);
		EXPECT_LE(key.size(), 4u);
	}
}

TEST(TerminalKeyDecoderFuzzFindings, LongestNumericParameterIsNoKeyAndTheNextKeyPasses)
{
	// kMaxSequence digits, read whole and (after ESC [, which a read ending in ESC would make the
	// Escape key) byte by byte.
	const std::string sequence =
	    "\x1b[" + std::string(TerminalKeyDecoder::kMaxSequence, '9') + "~a";
	EXPECT_EQ(DecodeInReads(sequence, {sequence.size()}), std::vector<std::string>{"a"});
	EXPECT_EQ(DecodeInReads(sequence, {2, 1}), std::vector<std::string>{"a"});
}

TEST(TerminalKeyDecoderFuzzFindings, KeyNumberWithLeadingDigitsPastTheCapIsNoKey)
{
	// 10002~ must not be read as 2~ (Insert) or any other key.
	EXPECT_EQ(DecodeInReads("\x1b[10002~a", {64}), std::vector<std::string>{"a"});
	EXPECT_EQ(DecodeInReads("\x1b[0002~", {64}).size(), 1u);
}
