#include "interface/Framebuffer.h"

#include <assert.h>
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <memory>

#include <Bitmap.h>
#include <Font.h>

#include <SDL.h>
#include <SDL_image.h>

#include "interface/FontFace.h"
#include "interface/PixelBox.h"
#include "interface/Utf8.h"
#include "kernel/PosixError.h"
#include "translation/ImageCodecLock.h"

namespace BPrivate {

namespace {

const uint32 kOpaqueBlack = 0xff000000;

// The framebuffer is a screen: every pixel is opaque whatever alpha it was painted with.
uint32 PackOpaque(rgb_color color)
{
	return 0xff000000 | (uint32(color.red) << 16) | (uint32(color.green) << 8) | color.blue;
}

uint8 BlendChannel(uint32 source, uint32 destination, uint32 alpha)
{
	// destination + (source - destination) * alpha / 255, rounded, in unsigned arithmetic.
	uint32 value = source * alpha + destination * (255 - alpha);
	return uint8((value + 127) / 255);
}

uint32 Blend(uint32 source, uint32 destination, uint32 alpha)
{
	if (alpha == 255)
		return source | 0xff000000;
	if (alpha == 0)
		return destination;
	uint8 red = BlendChannel((source >> 16) & 0xff, (destination >> 16) & 0xff, alpha);
	uint8 green = BlendChannel((source >> 8) & 0xff, (destination >> 8) & 0xff, alpha);
	uint8 blue = BlendChannel(source & 0xff, destination & 0xff, alpha);
	return 0xff000000 | (uint32(red) << 16) | (uint32(green) << 8) | blue;
}

} // namespace

Framebuffer::Framebuffer(int32 width, int32 height)
    : fWidth(max_c(width, 0)), fHeight(max_c(height, 0)),
      fPixels(size_t(fWidth) * size_t(fHeight), kOpaqueBlack)
{
	assert(width > 0 && height > 0);
}

void Framebuffer::FillRect(BRect rect, rgb_color color, BRect clip)
{
	PixelBox box =
	    PixelBox::FromRect(rect) & PixelBox::FromRect(clip) & PixelBox::FromRect(Bounds());
	if (box.IsEmpty())
		return;

	uint32 pixel = PackOpaque(color);
	std::lock_guard<std::mutex> guard(fLock);
	for (int32 y = box.top; y <= box.bottom; y++) {
		uint32* row = &fPixels[size_t(y) * fWidth];
		for (int32 x = box.left; x <= box.right; x++)
			row[x] = pixel;
	}
	AddDamage(box.ToRect());
}

void Framebuffer::DrawBitmap(const BBitmap& bitmap, BPoint leftTop, BRect clip)
{
	if (bitmap.InitCheck() != B_OK)
		return;
	color_space space = bitmap.ColorSpace();
	if (space != B_RGB32 && space != B_RGBA32)
		return;

	PixelBox source = PixelBox::FromRect(bitmap.Bounds());
	PixelBox target = PixelBox::FromRect(BRect(
	    leftTop.x, leftTop.y, leftTop.x + (source.Width() - 1), leftTop.y + (source.Height() - 1)));
	PixelBox box = target & PixelBox::FromRect(clip) & PixelBox::FromRect(Bounds());
	if (box.IsEmpty())
		return;

	const uint32* bits = static_cast<const uint32*>(bitmap.Bits());
	int32 stride = bitmap.BytesPerRow() / 4;
	bool blend = space == B_RGBA32;

	std::lock_guard<std::mutex> guard(fLock);
	for (int32 y = box.top; y <= box.bottom; y++) {
		const uint32* from = bits + size_t(y - target.top) * stride + (box.left - target.left);
		uint32* to = &fPixels[size_t(y) * fWidth + box.left];
		for (int32 x = 0; x < box.Width(); x++) {
			uint32 pixel = from[x];
			to[x] = blend ? Blend(pixel, to[x], pixel >> 24) : (pixel | 0xff000000);
		}
	}
	AddDamage(box.ToRect());
}

BPoint Framebuffer::DrawString(const BFont& font, const char* string, int32 length, BPoint baseline,
                               rgb_color high, BRect clip)
{
	if (string == nullptr || length <= 0)
		return baseline;

	// The glyphs are fetched first, under the face's lock only, so that the framebuffer is not
	// held while FreeType renders.
	struct PlacedGlyph
	{
		std::shared_ptr<const Glyph> glyph;
		int32 penX;
	};
	std::vector<PlacedGlyph> glyphs;
	const FontFace& face = *font.Face();
	const char* cursor = string;
	const char* end = string + strnlen(string, length);
	int32 advance = 0;
	while (cursor < end) {
		std::shared_ptr<const Glyph> glyph = face.GlyphFor(DecodeUtf8(cursor, end), font.Size());
		glyphs.push_back(PlacedGlyph{glyph, advance});
		advance += glyph->advance;
	}

	PixelBox origin = PixelBox::FromRect(BRect(baseline, baseline));
	PixelBox limit = PixelBox::FromRect(clip) & PixelBox::FromRect(Bounds());
	uint32 color = PackOpaque(high);

	std::lock_guard<std::mutex> guard(fLock);
	for (const PlacedGlyph& placed : glyphs) {
		const Glyph& glyph = *placed.glyph;
		if (glyph.width == 0 || glyph.height == 0)
			continue;
		int32 left = origin.left + placed.penX + glyph.left;
		int32 top = origin.top - glyph.top;
		PixelBox target(left, top, left + glyph.width - 1, top + glyph.height - 1);
		PixelBox box = target & limit;
		if (box.IsEmpty())
			continue;
		for (int32 y = box.top; y <= box.bottom; y++) {
			const uint8* coverage = &glyph.coverage[size_t(y - target.top) * glyph.width];
			uint32* row = &fPixels[size_t(y) * fWidth];
			for (int32 x = box.left; x <= box.right; x++)
				row[x] = Blend(color, row[x], coverage[x - target.left]);
		}
		AddDamage(box.ToRect());
	}
	return BPoint(baseline.x + advance, baseline.y);
}

rgb_color Framebuffer::PixelAt(int32 x, int32 y) const
{
	assert(x >= 0 && x < fWidth && y >= 0 && y < fHeight);
	if (x < 0 || x >= fWidth || y < 0 || y >= fHeight)
		return rgb_color{0, 0, 0, 0};
	uint32 pixel;
	{
		std::lock_guard<std::mutex> guard(fLock);
		pixel = fPixels[size_t(y) * fWidth + x];
	}
	return rgb_color{uint8(pixel >> 16), uint8(pixel >> 8), uint8(pixel), uint8(pixel >> 24)};
}

bool Framebuffer::TakeDamage(BRect* damage)
{
	std::lock_guard<std::mutex> guard(fLock);
	if (!fDamage.IsValid())
		return false;
	*damage = fDamage;
	fDamage = BRect();
	return true;
}

void Framebuffer::CopyPixels(BRect area, uint32* destination, int32 stride) const
{
	PixelBox wanted = PixelBox::FromRect(area);
	PixelBox box = wanted & PixelBox::FromRect(Bounds());
	if (box.IsEmpty())
		return;

	std::lock_guard<std::mutex> guard(fLock);
	for (int32 y = box.top; y <= box.bottom; y++) {
		memcpy(destination + size_t(y - wanted.top) * stride + (box.left - wanted.left),
		       &fPixels[size_t(y) * fWidth + box.left], size_t(box.Width()) * sizeof(uint32));
	}
}

status_t Framebuffer::SavePNG(const char* hostPath) const
{
	if (hostPath == nullptr || hostPath[0] == '\0')
		return B_BAD_VALUE;

	// A copy, so that the window's thread may go on drawing while the file is written.
	std::vector<uint32> pixels;
	{
		std::lock_guard<std::mutex> guard(fLock);
		pixels = fPixels;
	}

	std::unique_ptr<SDL_Surface, decltype(&SDL_FreeSurface)> surface(
	    SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), fWidth, fHeight, 32, fWidth * 4,
	                                       SDL_PIXELFORMAT_ARGB8888),
	    &SDL_FreeSurface);
	if (surface == nullptr)
		return B_NO_MEMORY;

	// Opened here rather than by SDL so that a file that cannot be created says why; SDL_image
	// reports no reason for a failed write, which is taken for an I/O error.
	FILE* file = fopen(hostPath, "wb");
	if (file == nullptr)
		return PosixError(errno);
	SDL_RWops* stream = SDL_RWFromFP(file, SDL_TRUE);
	if (stream == nullptr) {
		fclose(file);
		return B_NO_MEMORY;
	}
	// The stream, and with it the file, is closed by IMG_SavePNG_RW whatever happens.
	std::lock_guard<std::mutex> codecGuard(ImageCodecLock());
	return IMG_SavePNG_RW(surface.get(), stream, 1) == 0 ? B_OK : B_IO_ERROR;
}

void Framebuffer::AddDamage(BRect rect)
{
	fDamage = fDamage.IsValid() ? (fDamage | rect) : rect;
}

} // namespace BPrivate
