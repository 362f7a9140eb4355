#pragma once

#include <termios.h>

#include <vector>

#include "interface/headless/TerminalKeyDecoder.h"

namespace BPrivate {

// The keyboard of a terminal on a descriptor (standard input): while it exists the terminal is
// in a raw-ish mode (no line editing, no echo, no CR/LF translation of input; signals from
// Ctrl-C and the like still work), and its mode is registered to be restored should a signal end
// the process. A descriptor that is not a terminal is left alone and never read.
//
// Not thread-safe: one thread (the display's) reads it; construct and destroy on that thread.
class TerminalKeyboard
{
public:
	explicit TerminalKeyboard(int fd);
	~TerminalKeyboard();

	TerminalKeyboard(const TerminalKeyboard&) = delete;
	TerminalKeyboard& operator=(const TerminalKeyboard&) = delete;

	// Whether the descriptor is worth polling: a terminal that has not ended (end of file,
	// hang-up or an error stop the reading for good).
	bool IsActive() const { return fActive; }
	int Descriptor() const { return fFd; }
	// Handles what poll() said about the descriptor: reads what is there (once, without
	// blocking) and appends the keys typed to `keys`.
	void HandlePoll(short revents, std::vector<TerminalKey>* keys);

private:
	const int fFd;
	bool fActive;
	bool fModeChanged;
	struct termios fSavedMode;
	int fRestoreSlot;
	TerminalKeyDecoder fDecoder;
};

} // namespace BPrivate
