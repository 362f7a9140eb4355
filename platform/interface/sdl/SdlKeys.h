#pragma once

#include <SupportDefs.h>
#include <SDL.h>

namespace BPrivate {

// What SDL's keyboard events become for a BeOS window. Printable characters come only from
// SDL's text events: X11 and Wayland send both a key event and a text event for them, and taking
// both would type each character twice. The keys that never produce text (Enter, the arrows, the
// function keys...) come from key events and are mapped here.

// The BeOS key byte for a key without text (B_ENTER for Return and keypad Enter, B_LEFT_ARROW,
// B_FUNCTION_KEY for F1 to F12, ...), or 0 when the key gives nothing of its own.
uint8 BeKeyForSdlKey(SDL_Keycode key);

} // namespace BPrivate
