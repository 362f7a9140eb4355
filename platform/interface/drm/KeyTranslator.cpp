#include "interface/drm/KeyTranslator.h"

#include <stdio.h>
#include <stdlib.h>

#include <fstream>
#include <string>

#include <InterfaceDefs.h>

#include <xkbcommon/xkbcommon.h>

namespace BPrivate {

namespace {

// The keymap the machine's console uses, as Debian keeps it: KEY="value" lines.
struct KeymapNames
{
	std::string model, layout, variant, options;
};

KeymapNames DebianKeyboardDefaults()
{
	KeymapNames names;
	std::ifstream file("/etc/default/keyboard");
	std::string line;
	while (std::getline(file, line)) {
		const size_t equals = line.find('=');
		if (equals == std::string::npos || line[0] == '#')
			continue;
		const std::string key = line.substr(0, equals);
		std::string value = line.substr(equals + 1);
		if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
			value = value.substr(1, value.size() - 2);
		if (key == "XKBMODEL")
			names.model = value;
		else if (key == "XKBLAYOUT")
			names.layout = value;
		else if (key == "XKBVARIANT")
			names.variant = value;
		else if (key == "XKBOPTIONS")
			names.options = value;
	}
	return names;
}

// A name from the file, unless the environment names one (xkbcommon reads XKB_DEFAULT_* for the
// names left null) or the file has none.
const char* Pick(const std::string& fromFile, const char* variable)
{
	return getenv(variable) != nullptr || fromFile.empty() ? nullptr : fromFile.c_str();
}

// The BeOS key byte of a key that types no text of its own (Enter, arrows, ...), or 0.
unsigned char BeKeyForKeysym(xkb_keysym_t keysym)
{
	// Every function key is B_FUNCTION_KEY on BeOS; which one is not delivered.
	if (keysym >= XKB_KEY_F1 && keysym <= XKB_KEY_F12)
		return B_FUNCTION_KEY;
	switch (keysym) {
	case XKB_KEY_Return:
	case XKB_KEY_KP_Enter:
		return B_ENTER;
	case XKB_KEY_BackSpace:
		return B_BACKSPACE;
	case XKB_KEY_Tab:
		return B_TAB;
	case XKB_KEY_Escape:
		return B_ESCAPE;
	case XKB_KEY_Left:
	case XKB_KEY_KP_Left:
		return B_LEFT_ARROW;
	case XKB_KEY_Right:
	case XKB_KEY_KP_Right:
		return B_RIGHT_ARROW;
	case XKB_KEY_Up:
	case XKB_KEY_KP_Up:
		return B_UP_ARROW;
	case XKB_KEY_Down:
	case XKB_KEY_KP_Down:
		return B_DOWN_ARROW;
	case XKB_KEY_Insert:
	case XKB_KEY_KP_Insert:
		return B_INSERT;
	case XKB_KEY_Delete:
	case XKB_KEY_KP_Delete:
		return B_DELETE;
	case XKB_KEY_Home:
	case XKB_KEY_KP_Home:
		return B_HOME;
	case XKB_KEY_End:
	case XKB_KEY_KP_End:
		return B_END;
	case XKB_KEY_Page_Up:
	case XKB_KEY_KP_Page_Up:
		return B_PAGE_UP;
	case XKB_KEY_Page_Down:
	case XKB_KEY_KP_Page_Down:
		return B_PAGE_DOWN;
	default:
		return 0;
	}
}

} // namespace

KeyTranslator::KeyTranslator()
{
	fContext = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
	const KeymapNames defaults = DebianKeyboardDefaults();
	struct xkb_rule_names names = {};
	names.model = Pick(defaults.model, "XKB_DEFAULT_MODEL");
	// A variant belongs to its layout: both from the same place.
	const bool layoutFromFile = Pick(defaults.layout, "XKB_DEFAULT_LAYOUT") != nullptr;
	names.layout = layoutFromFile ? defaults.layout.c_str() : nullptr;
	names.variant =
	    layoutFromFile && !defaults.variant.empty() ? defaults.variant.c_str() : nullptr;
	names.options = Pick(defaults.options, "XKB_DEFAULT_OPTIONS");
	if (fContext != nullptr)
		fKeymap = xkb_keymap_new_from_names(fContext, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
	if (fKeymap == nullptr && fContext != nullptr)
		fKeymap = xkb_keymap_new_from_names(fContext, nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS);
	if (fKeymap != nullptr)
		fState = xkb_state_new(fKeymap);
	if (fState == nullptr)
		fprintf(stderr, "drm: no keymap (xkeyboard-config); keys are not read\n");
}

KeyTranslator::~KeyTranslator()
{
	if (fState != nullptr)
		xkb_state_unref(fState);
	if (fKeymap != nullptr)
		xkb_keymap_unref(fKeymap);
	if (fContext != nullptr)
		xkb_context_unref(fContext);
}

void KeyTranslator::KeyChanged(unsigned evdevCode, bool pressed, std::vector<std::string>* keys)
{
	if (fState == nullptr)
		return;
	// XKB numbers keys 8 above evdev.
	const xkb_keycode_t code = evdevCode + 8;
	if (pressed) {
		const unsigned char beKey = BeKeyForKeysym(xkb_state_key_get_one_sym(fState, code));
		if (beKey != 0) {
			keys->push_back(std::string(1, static_cast<char>(beKey)));
		} else {
			char text[8];
			const int length = xkb_state_key_get_utf8(fState, code, text, sizeof(text));
			// Control characters (Ctrl with a letter) are no text the program asked for.
			if (length > 0 && length < static_cast<int>(sizeof(text)) &&
			    static_cast<unsigned char>(text[0]) >= 0x20 && text[0] != 0x7f)
				keys->push_back(std::string(text, length));
		}
	}
	xkb_state_update_key(fState, code, pressed ? XKB_KEY_DOWN : XKB_KEY_UP);
}

} // namespace BPrivate
