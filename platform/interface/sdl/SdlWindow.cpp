#include "interface/sdl/SdlWindow.h"

#include <cassert>
#include <cstdio>
#include <cstring>

#include "interface/Display.h"
#include "interface/Framebuffer.h"
#include "interface/sdl/SdlWindowSystem.h"
#include "interface/sdl/X11PrimaryHead.h"

namespace BPrivate {

namespace {

void ReportSdlError(const char* what)
{
	fprintf(stderr, "sdl: %s: %s\n", what, SDL_GetError());
}

} // namespace

void SdlWindow::Make(void* context)
{
	Making& making = *static_cast<Making*>(context);
	DisplayClient& client = *making.client;
	const BRect frame = client.DisplayFrame();
	// SDL lists the primary output first; on several heads it need not be at the root's origin.
	SDL_Rect primary = {0, 0, 0, 0};
	if (SDL_GetDisplayBounds(0, &primary) != 0)
		primary = {0, 0, 0, 0};
	// A Wayland client cannot place its window, and a compositor tiles or floats it with a frame
	// of its own: there the window asks for the whole output instead, and Render keeps the
	// framebuffer at its top-left corner with black beside it. On X the window is placed
	// exactly, and X11ScreenCover blackens the rest.
	const bool wholeOutput = strcmp(SDL_GetCurrentVideoDriver(), "wayland") == 0;
	// Created hidden, so that the cursor can be set before the window appears.
	SDL_Window* window = SDL_CreateWindow(
	    client.DisplayTitle(), primary.x + static_cast<int>(frame.left),
	    primary.y + static_cast<int>(frame.top), frame.IntegerWidth() + 1,
	    frame.IntegerHeight() + 1,
	    SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN |
	        (wholeOutput ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0));
	if (window == nullptr) {
		ReportSdlError("cannot create a window");
		return;
	}
	making.window = window;
	// SDL's displays are the X outputs; the screen's heads can be finer (X11PrimaryHead). The
	// window is still unmapped: it appears where it belongs.
	SDL_SysWMinfo info;
	SDL_Rect head;
	if (GetWindowSystemInfo(window, SDL_SYSWM_X11, &info) &&
	    X11PrimaryHead::Find(info.info.x11.display, &head) &&
	    (head.x != primary.x || head.y != primary.y)) {
		SDL_SetWindowPosition(window, head.x + static_cast<int>(frame.left),
		                      head.y + static_cast<int>(frame.top));
	}
	// The window shows one 2D framebuffer and presents only what changed. On X11 the software
	// renderer does that through shared memory without loading a GL stack, which costs some 40 MB
	// of resident memory and a set of driver threads (Mesa's llvmpipe under Xvfb). Elsewhere
	// (KMSDRM has no software window surface) the accelerated renderer comes first.
	const bool softwareFirst = strcmp(SDL_GetCurrentVideoDriver(), "x11") == 0;
	if (softwareFirst) {
		// Or SDL would back the software renderer's window surface with a GL texture itself.
		SDL_SetHintWithPriority(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0", SDL_HINT_DEFAULT);
	}
	const Uint32 firstChoice = softwareFirst ? SDL_RENDERER_SOFTWARE : SDL_RENDERER_ACCELERATED;
	const Uint32 secondChoice = softwareFirst ? SDL_RENDERER_ACCELERATED : SDL_RENDERER_SOFTWARE;
	making.renderer = SDL_CreateRenderer(window, -1, firstChoice);
	if (making.renderer == nullptr)
		making.renderer = SDL_CreateRenderer(window, -1, secondChoice);
	if (making.renderer == nullptr)
		ReportSdlError("cannot create a renderer");
}

std::unique_ptr<SdlWindow> SdlWindow::Adopt(const Making& making)
{
	WindowHandle window(making.window);
	RendererHandle renderer(making.renderer);
	if (!window || !renderer)
		return nullptr;
	std::unique_ptr<SdlWindow> sdlWindow(
	    new SdlWindow(*making.client, std::move(window), std::move(renderer)));
	if (!sdlWindow->CreateTexture())
		return nullptr;
	return sdlWindow;
}

void SdlWindow::Show()
{
	SDL_ShowWindow(fWindow.get());
	PresentAll();
	TakeFocus();
}

SdlWindow::SdlWindow(DisplayClient& client, WindowHandle window, RendererHandle renderer)
    : fClient(client), fWindow(std::move(window)), fRenderer(std::move(renderer))
{
}

bool SdlWindow::CreateTexture()
{
	const Framebuffer& framebuffer = fClient.DisplayFramebuffer();
	fTexture.reset();
	fTexture.reset(SDL_CreateTexture(fRenderer.get(), SDL_PIXELFORMAT_ARGB8888,
	                                 SDL_TEXTUREACCESS_STREAMING, framebuffer.Width(),
	                                 framebuffer.Height()));
	if (!fTexture) {
		ReportSdlError("cannot create a texture");
		return false;
	}
	// The framebuffer is opaque; the screen shows its colours as they are.
	SDL_SetTextureBlendMode(fTexture.get(), SDL_BLENDMODE_NONE);
	fTextureWidth = framebuffer.Width();
	fTextureHeight = framebuffer.Height();
	return true;
}

void SdlWindow::PresentDamage()
{
	BRect damage;
	if (!fClient.DisplayFramebuffer().TakeDamage(&damage))
		return;
	Upload(damage);
	Render();
}

void SdlWindow::PresentAll()
{
	Framebuffer& framebuffer = fClient.DisplayFramebuffer();
	// The damage goes first: whatever is painted after this call adds new damage, whatever was
	// painted before it is in the copy below.
	BRect damage;
	framebuffer.TakeDamage(&damage);
	Upload(framebuffer.Bounds());
	Render();
}

void SdlWindow::RecreateTexture()
{
	if (CreateTexture())
		PresentAll();
}

void SdlWindow::TakeFocus()
{
	SDL_RaiseWindow(fWindow.get());
	// Without a window manager nobody else hands out the keyboard; with one, this is a request.
	SDL_SetWindowInputFocus(fWindow.get());
}

void SdlWindow::Abandon()
{
	(void)fTexture.release();
	(void)fRenderer.release();
	(void)fWindow.release();
}

void SdlWindow::Destroy()
{
	SDL_DestroyTexture(fTexture.release());
	SDL_DestroyRenderer(fRenderer.release());
	SDL_DestroyWindow(fWindow.release());
}

void SdlWindow::Upload(BRect area)
{
	if (!fTexture)
		return;
	area = area & fClient.DisplayFramebuffer().Bounds();
	if (!area.IsValid())
		return;
	const SDL_Rect rect = {static_cast<int>(area.left), static_cast<int>(area.top),
	                       area.IntegerWidth() + 1, area.IntegerHeight() + 1};
	void* pixels;
	int pitch;
	if (SDL_LockTexture(fTexture.get(), &rect, &pixels, &pitch) != 0) {
		ReportSdlError("cannot lock the texture");
		return;
	}
	assert(pitch % static_cast<int>(sizeof(uint32)) == 0);
	// Every pixel of the locked area is written: SDL does not promise that a locked streaming
	// texture holds its old contents.
	fClient.DisplayFramebuffer().CopyPixels(area, static_cast<uint32*>(pixels),
	                                        pitch / static_cast<int>(sizeof(uint32)));
	SDL_UnlockTexture(fTexture.get());
}

void SdlWindow::Render()
{
	if (!fTexture)
		return;
	// The whole window every time: after a present the renderer's back buffer is undefined. A
	// window larger than the framebuffer (the whole output, on Wayland) is black beside it.
	SDL_SetRenderDrawColor(fRenderer.get(), 0, 0, 0, SDL_ALPHA_OPAQUE);
	SDL_RenderClear(fRenderer.get());
	const SDL_Rect whole = {0, 0, fTextureWidth, fTextureHeight};
	SDL_RenderCopy(fRenderer.get(), fTexture.get(), nullptr, &whole);
	SDL_RenderPresent(fRenderer.get());
}

} // namespace BPrivate
