#pragma once

#include <vector>

#include <SupportDefs.h>

namespace BPrivate {

// One key as KeyDown() receives it: a UTF-8 character (1 to 4 bytes) or a BeOS key byte.
struct TerminalKey
{
	char bytes[4];
	int32 length;
};

// Turns what a terminal sends into keys. Handled:
//   CR, LF, CR LF (one key)        -> B_ENTER (10)
//   DEL (0x7f), BS (0x08)          -> B_BACKSPACE (8); TAB -> B_TAB (9)
//   ESC [ A/B/C/D, ESC O A/B/C/D   -> B_UP_ARROW, B_DOWN_ARROW, B_RIGHT_ARROW, B_LEFT_ARROW
//   ESC [ H, ESC [ 1~, ESC [ 7~, ESC O H -> B_HOME; ESC [ F, 4~, 8~, ESC O F -> B_END
//   ESC [ 2~ B_INSERT, 3~ B_DELETE, 5~ B_PAGE_UP, 6~ B_PAGE_DOWN
//   ESC O P..S, ESC [ 11~..15~, 17~..21~, 23~, 24~, ESC [ 1;m P..S, ESC [ [ A..E
//                                  -> B_FUNCTION_KEY (16)
//   ESC with nothing after it in the same read -> B_ESCAPE (27)
//   ESC O M (keypad Enter)         -> B_ENTER
// Other bytes below 0x20 pass as they are, NUL is dropped. Escape sequences not listed (modifier
// parameters are accepted and ignored) are dropped whole, and so is ESC followed by any other
// byte (Alt+key). Valid UTF-8 characters pass whole; invalid bytes (stray continuations,
// overlong forms, surrogates, values past U+10FFFF) are dropped. Whatever the input, the state
// is a few bytes: a sequence longer than kMaxSequence is swallowed up to its final byte.
//
// Not thread-safe: one reader feeds it.
class TerminalKeyDecoder
{
public:
	static const int32 kMaxSequence = 12;

	// Appends the keys `data` completes to `keys`.
	void Feed(const void* data, size_t length, std::vector<TerminalKey>* keys);
	// The read that fed the last bytes is over: a lone ESC is the Escape key.
	void EndOfRead(std::vector<TerminalKey>* keys);

private:
	enum State
	{
		kGround,
		kEscape,
		kCsi,
		kCsiDiscard,
		kSs3,
		kLinuxFunction,
	};

	void FeedByte(uint8 byte, std::vector<TerminalKey>* keys);
	void FeedGround(uint8 byte, std::vector<TerminalKey>* keys);
	void FeedUtf8(uint8 byte, std::vector<TerminalKey>* keys);
	void FinishCsi(uint8 final, std::vector<TerminalKey>* keys);
	void FinishSs3(uint8 final, std::vector<TerminalKey>* keys);
	static void Emit(uint8 byte, std::vector<TerminalKey>* keys);

	State fState = kGround;
	bool fAfterCarriageReturn = false;
	// The CSI parameter and intermediate bytes seen so far.
	char fSequence[kMaxSequence];
	int32 fSequenceLength = 0;
	// A UTF-8 character being gathered: its bytes and how many it has in all.
	char fUtf8[4];
	int32 fUtf8Length = 0;
	int32 fUtf8Expected = 0;
};

} // namespace BPrivate
