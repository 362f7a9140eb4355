#pragma once

#include <memory>

#include <SDL.h>

namespace BPrivate {

// Owners of SDL's handles. A texture must go before its renderer and a renderer before its
// window: declare them in that order (window first) so that members are destroyed the other way.

struct SdlWindowDeleter
{
	void operator()(SDL_Window* window) const { SDL_DestroyWindow(window); }
};

struct SdlRendererDeleter
{
	void operator()(SDL_Renderer* renderer) const { SDL_DestroyRenderer(renderer); }
};

struct SdlTextureDeleter
{
	void operator()(SDL_Texture* texture) const { SDL_DestroyTexture(texture); }
};

using WindowHandle = std::unique_ptr<SDL_Window, SdlWindowDeleter>;
using RendererHandle = std::unique_ptr<SDL_Renderer, SdlRendererDeleter>;
using TextureHandle = std::unique_ptr<SDL_Texture, SdlTextureDeleter>;

// A successful SDL_Init, adopted: SDL_Quit when this goes. Declared before every other SDL handle
// of its owner, so that it is destroyed after them.
class SdlSession
{
public:
	SdlSession() = default;
	~SdlSession()
	{
		if (!fAbandoned)
			SDL_Quit();
	}

	// The connection to the screen is gone: SDL_Quit would talk to it. SDL's state is left as
	// it is, for the rest of the process.
	void Abandon() { fAbandoned = true; }
	// SDL_Quit now. Marked done first: should it be cut short (X11LossGuard), it is not tried again.
	void Quit()
	{
		if (fAbandoned)
			return;
		fAbandoned = true;
		SDL_Quit();
	}

	SdlSession(const SdlSession&) = delete;
	SdlSession& operator=(const SdlSession&) = delete;

private:
	bool fAbandoned = false;
};

} // namespace BPrivate
