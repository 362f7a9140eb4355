// What a terminal sends, through the headless display's key decoder in reads of any size, and the
// same bytes as message lines of any length through M_ShowMessage and back with M_ReadMessage.
//
// Input: byte 0 gives the number n (1..4) of chunk-size bytes that follow it; those give the sizes
// of the reads (1..32 bytes each, used in turn); the rest is what the terminal sends. For the
// message lines the same rest is split at every '\n' and the pieces shown in pairs.

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "MessageLines.h"
#include "interface/headless/TerminalKeyDecoder.h"

namespace {

[[noreturn]] void Fail(const char* what)
{
	fprintf(stderr, "TerminalKeysFuzzer: %s\n", what);
	abort();
}

// How many bytes a UTF-8 character with this first byte has, 0 for no valid first byte.
int Utf8Length(uint8_t first)
{
	if (first >= 0xc2 && first <= 0xdf)
		return 2;
	if (first >= 0xe0 && first <= 0xef)
		return 3;
	if (first >= 0xf0 && first <= 0xf4)
		return 4;
	return 0;
}

void CheckKeys(const std::vector<BPrivate::TerminalKey>& keys)
{
	for (const BPrivate::TerminalKey& key : keys) {
		if (key.length < 1 || key.length > 4)
			Fail("a key of a length outside 1..4");
		uint8_t first = (uint8_t)key.bytes[0];
		if (key.length == 1) {
			if (first == 0 || first >= 0x80)
				Fail("a one-byte key that is NUL or not ASCII");
			continue;
		}
		if (Utf8Length(first) != key.length)
			Fail("a multi-byte key that is not one whole UTF-8 character");
		for (int32 index = 1; index < key.length; index++) {
			if (((uint8_t)key.bytes[index] & 0xc0) != 0x80)
				Fail("a multi-byte key with a byte that is no continuation");
		}
	}
}

void FeedDecoder(const uint8_t* sizes, size_t sizeCount, const uint8_t* data, size_t length)
{
	BPrivate::TerminalKeyDecoder decoder;
	std::vector<BPrivate::TerminalKey> keys;
	size_t offset = 0;
	for (size_t read = 0; offset < length; read++) {
		size_t chunk = sizeCount > 0 ? (sizes[read % sizeCount] & 0x1f) + 1 : length;
		if (chunk > length - offset)
			chunk = length - offset;
		// A copy of exactly the read's size, so that ASan sees any access past it.
		std::unique_ptr<uint8_t[]> copy(new uint8_t[chunk]);
		memcpy(copy.get(), data + offset, chunk);
		decoder.Feed(copy.get(), chunk, &keys);
		decoder.EndOfRead(&keys);
		CheckKeys(keys);
		keys.clear();
		offset += chunk;
	}
}

// The line as M_ReadMessage must give it back: up to its first NUL, cut at 16 characters.
std::string Expected(const std::string& line)
{
	std::string text(line.c_str());
	return text.substr(0, kMessageLineSize - 1);
}

void CheckReadBack(const std::string& line, const char* readBack)
{
	const void* end = memchr(readBack, '\0', kMessageLineSize);
	if (end == nullptr)
		Fail("a line read back without its NUL");
	if (Expected(line) != readBack)
		Fail("a line read back that is not the one shown, cut at 16");
}

void ShowLines(const uint8_t* data, size_t length)
{
	std::vector<std::string> pieces(1);
	for (size_t index = 0; index < length; index++) {
		if (data[index] == '\n')
			pieces.emplace_back();
		else
			pieces.back().push_back((char)data[index]);
	}
	if (pieces.size() % 2 != 0)
		pieces.emplace_back();

	for (size_t index = 0; index < pieces.size(); index += 2) {
		M_ShowMessage(pieces[index].c_str(), pieces[index + 1].c_str());
		// Exactly the documented size each, so that ASan sees any write past it.
		std::unique_ptr<char[]> line1(new char[kMessageLineSize]);
		std::unique_ptr<char[]> line2(new char[kMessageLineSize]);
		M_ReadMessage(line1.get(), line2.get());
		CheckReadBack(pieces[index], line1.get());
		CheckReadBack(pieces[index + 1], line2.get());
	}
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
	// M_ShowMessage prints every pair.
	int devNull = open("/dev/null", O_WRONLY);
	if (devNull < 0 || dup2(devNull, STDOUT_FILENO) < 0)
		Fail("cannot silence stdout");
	close(devNull);
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	if (size == 0)
		return 0;
	size_t sizeCount = (data[0] & 0x03) + 1;
	if (sizeCount > size - 1)
		sizeCount = size - 1;
	const uint8_t* sizes = data + 1;
	const uint8_t* rest = data + 1 + sizeCount;
	size_t restLength = size - 1 - sizeCount;

	FeedDecoder(sizes, sizeCount, rest, restLength);
	ShowLines(rest, restLength);
	return 0;
}
