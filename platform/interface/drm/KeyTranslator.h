#pragma once

#include <string>
#include <vector>

struct xkb_context;
struct xkb_keymap;
struct xkb_state;

namespace BPrivate {

// Turns key presses and releases (Linux input key codes) into what KeyDown receives, with the
// machine's keymap: the XKB_DEFAULT_* variables where set, else /etc/default/keyboard, else the
// XKB defaults. Keeps the modifiers' state between keys. Without a keymap (no xkeyboard-config),
// one line on standard error says so and no key gives anything. One thread at a time.
class KeyTranslator
{
public:
	KeyTranslator();
	~KeyTranslator();

	KeyTranslator(const KeyTranslator&) = delete;
	KeyTranslator& operator=(const KeyTranslator&) = delete;

	bool IsValid() const { return fState != nullptr; }
	// A key went down or up. A press adds one UTF-8 character, or one BeOS key byte for a key
	// without text of its own (B_ENTER for both Enter keys, the arrows, ...), to `keys`; control
	// characters and releases add nothing.
	void KeyChanged(unsigned evdevCode, bool pressed, std::vector<std::string>* keys);

private:
	struct xkb_context* fContext = nullptr;
	struct xkb_keymap* fKeymap = nullptr;
	struct xkb_state* fState = nullptr;
};

} // namespace BPrivate
