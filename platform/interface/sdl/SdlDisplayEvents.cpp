// What the SDL display does with SDL's events: keys to the window that has the keyboard, the
// screen's copy painted again after an expose, the cover told of the other clients' windows.

#include "interface/sdl/SdlDisplay.h"

#include <cstring>

#include "interface/Utf8.h"
#include "interface/sdl/SdlKeys.h"

namespace BPrivate {

void SdlDisplay::HandleEvent(const SDL_Event& event)
{
	switch (event.type) {
	case SDL_KEYDOWN:
		HandleKeyDown(event.key);
		break;
	case SDL_TEXTINPUT:
		HandleText(event.text);
		break;
	case SDL_WINDOWEVENT:
		HandleWindowEvent(event.window);
		break;
	case SDL_RENDER_TARGETS_RESET:
	case SDL_RENDER_DEVICE_RESET:
		for (const std::unique_ptr<SdlWindow>& window : fWindows)
			window->RecreateTexture();
		break;
	case SDL_SYSWMEVENT:
		if (fCover)
			fCover->HandleEvent(*event.syswm.msg);
		break;
	case SDL_QUIT:
		// The window manager asked to close the last window (SDL's signal handlers are
		// off, so nothing else sends this), or SDL lost the Wayland compositor (Dispatch
		// looks for that before the next event). A reset utility on a dedicated machine must
		// not be closed from outside, and the display cannot hand a quit request to the
		// application anyway: the window stays.
		break;
	default:
		if (event.type == fWakeEvent) {
			std::lock_guard<std::mutex> guard(fLock);
			fWakePending = false;
		}
		break;
	}
}

void SdlDisplay::HandleWindowEvent(const SDL_WindowEvent& event)
{
	SdlWindow* window = WindowWithId(event.windowID);
	if (window == nullptr)
		return;
	switch (event.event) {
	case SDL_WINDOWEVENT_SHOWN:
		// Mapped again (after an unmap): the keyboard goes with it.
		window->TakeFocus();
		window->PresentAll();
		break;
	case SDL_WINDOWEVENT_EXPOSED:
	case SDL_WINDOWEVENT_RESTORED:
	case SDL_WINDOWEVENT_SIZE_CHANGED:
		// The screen lost what it showed; the framebuffer still has it all, so the views
		// are not asked to paint again.
		window->PresentAll();
		break;
	case SDL_WINDOWEVENT_FOCUS_GAINED:
		ApplyCursor();
		if (fCover)
			fCover->GrabAgain();
		break;
	case SDL_WINDOWEVENT_FOCUS_LOST:
		// The keyboard stays with the window all the same.
		if (fCover)
			fCover->GrabAgain();
		break;
	default:
		break;
	}
}

void SdlDisplay::HandleKeyDown(const SDL_KeyboardEvent& event)
{
	const uint8 key = BeKeyForSdlKey(event.keysym.sym);
	if (key == 0)
		return;
	if (SdlWindow* window = KeyboardWindow(event.windowID)) {
		const char byte = static_cast<char>(key);
		window->Client().DisplayKeyDown(&byte, 1);
	}
}

void SdlDisplay::HandleText(const SDL_TextInputEvent& event)
{
	SdlWindow* window = KeyboardWindow(event.windowID);
	if (window == nullptr)
		return;
	// One key a character: an input method may commit several at once.
	const char* cursor = event.text;
	const char* const end = cursor + strnlen(event.text, sizeof(event.text));
	while (cursor < end) {
		const char* const character = cursor;
		const uint32 code = DecodeUtf8(cursor, end);
		// A byte that starts no well-formed character decodes as U+FFFD one byte long: it is
		// dropped rather than handed on as a key.
		if (code == kReplacementCharacter && cursor - character == 1)
			continue;
		window->Client().DisplayKeyDown(character, static_cast<int32>(cursor - character));
	}
}

void SdlDisplay::ApplyCursor()
{
	SDL_ShowCursor(fCursorHidden ? SDL_DISABLE : SDL_ENABLE);
	// SDL_ShowCursor does nothing when its state does not change; SDL_SetCursor(NULL) puts the
	// state on every window again, a new one included.
	SDL_SetCursor(nullptr);
	if (fCover)
		fCover->SetPointerHidden(fCursorHidden);
}

SdlWindow* SdlDisplay::WindowWithId(Uint32 id) const
{
	for (const std::unique_ptr<SdlWindow>& window : fWindows) {
		if (window->Id() == id)
			return window.get();
	}
	return nullptr;
}

SdlWindow* SdlDisplay::WindowOf(DisplayClient* client) const
{
	for (const std::unique_ptr<SdlWindow>& window : fWindows) {
		if (&window->Client() == client)
			return window.get();
	}
	return nullptr;
}

SdlWindow* SdlDisplay::KeyboardWindow(Uint32 eventWindowId) const
{
	if (SdlWindow* window = WindowWithId(eventWindowId))
		return window;
	if (SDL_Window* focus = SDL_GetKeyboardFocus()) {
		if (SdlWindow* window = WindowWithId(SDL_GetWindowID(focus)))
			return window;
	}
	return fWindows.size() == 1 ? fWindows.front().get() : nullptr;
}

} // namespace BPrivate
