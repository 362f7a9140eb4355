#pragma once

#include <string>
#include <vector>

#include "interface/drm/KeyTranslator.h"

struct libinput;
struct udev;

namespace BPrivate {

// The keyboards of seat0, read through libinput (which hears keyboards plugged in and pulled out
// by itself) and turned into text by a KeyTranslator. Needs read access to /dev/input/event*
// (the group input). Without udev, one line on standard error says so and there are no keys.
// Main thread only.
class ConsoleKeyboard
{
public:
	ConsoleKeyboard();
	~ConsoleKeyboard();

	ConsoleKeyboard(const ConsoleKeyboard&) = delete;
	ConsoleKeyboard& operator=(const ConsoleKeyboard&) = delete;

	// What to poll for input, or -1 when there are no keys to be had.
	int Descriptor() const;
	// Takes the input that came: each key pressed as one UTF-8 character or one BeOS key byte
	// (B_ENTER for both Enter keys, arrows, ...), in order.
	void Read(std::vector<std::string>* keys);

private:
	KeyTranslator fTranslator;
	struct udev* fUdev = nullptr;
	struct libinput* fInput = nullptr;
};

} // namespace BPrivate
