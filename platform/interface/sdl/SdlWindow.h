#pragma once

#include <memory>

#include <Rect.h>
#include <SDL.h>

#include "interface/sdl/SdlHandles.h"

namespace BPrivate {

class DisplayClient;

// One client's window on the screen: an undecorated SDL window at the client's frame (counted from
// the top-left corner of SDL's first display, the primary output), or on Wayland one that asks for
// the whole output with the framebuffer at its top-left corner; its renderer and a streaming
// texture the size of the client's framebuffer. The texture is the screen's copy of the
// framebuffer; presenting uploads what changed and draws the whole texture.
// Main thread only, like all of SDL's video calls.
class SdlWindow
{
public:
	// What Make needs and makes: plain handles, so that X11LossGuard may cut it short.
	struct Making
	{
		DisplayClient* client;
		SDL_Window* window = nullptr;
		SDL_Renderer* renderer = nullptr;
	};
	// Makes a hidden window and its renderer for `making` (a Making); a line on standard error
	// for what SDL cannot make.
	static void Make(void* making);
	// Takes over what Make made, with a texture of its own; null when something is missing.
	static std::unique_ptr<SdlWindow> Adopt(const Making& making);
	// Maps the window, shows the framebuffer on it and gives it the keyboard.
	void Show();

	DisplayClient& Client() const { return fClient; }
	Uint32 Id() const { return SDL_GetWindowID(fWindow.get()); }
	SDL_Window* Get() const { return fWindow.get(); }

	// Shows what was painted since the last present, if anything.
	void PresentDamage();
	// Shows the whole framebuffer again, for when the screen lost what it showed (an expose).
	void PresentAll();
	// For when the renderer lost its textures (a device or render-target reset).
	void RecreateTexture();
	// Puts the window on top and gives it the keyboard.
	void TakeFocus();
	// The connection to the screen is gone: the SDL objects are left to SDL, which can no longer
	// free them without the connection, and this no longer touches them.
	void Abandon();
	// Destroys the SDL objects now, each let go of before SDL is called (X11LossGuard).
	void Destroy();

private:
	SdlWindow(DisplayClient& client, WindowHandle window, RendererHandle renderer);

	bool CreateTexture();
	void Upload(BRect area);
	void Render();

	DisplayClient& fClient;
	WindowHandle fWindow;
	RendererHandle fRenderer;
	TextureHandle fTexture;
	int fTextureWidth = 0;
	int fTextureHeight = 0;
};

} // namespace BPrivate
