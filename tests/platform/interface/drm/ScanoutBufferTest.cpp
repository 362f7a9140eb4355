// Where a window's framebuffer lands in scan-out buffers of other sizes, row pitches and formats.

#include "interface/drm/ScanoutBuffer.h"

#include <string.h>

#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

#include "interface/Framebuffer.h"

using BPrivate::Framebuffer;
using BPrivate::PlaceDamage;
using BPrivate::ScanoutBuffer;
using BPrivate::ScanoutFormat;

namespace {

const uint8 kUntouched = 0xab;
const rgb_color kPurple = {132, 66, 255, 255};
const rgb_color kWhite = {255, 255, 255, 255};
const rgb_color kRed = {255, 0, 0, 255};
const rgb_color kGreen = {0, 255, 0, 255};
const rgb_color kBlue = {0, 0, 255, 255};

// Memory standing in for a card's buffer: every byte kUntouched until written.
struct TestBuffer
{
	TestBuffer(int32 width, int32 height, int32 pitch, ScanoutFormat format)
	    : bytes(static_cast<size_t>(pitch) * height, kUntouched), view{bytes.data(), width, height,
	                                                                   pitch, format}
	{
	}
	uint32 Xrgb(int32 x, int32 y) const
	{
		uint32 pixel;
		memcpy(&pixel, &bytes[static_cast<size_t>(y) * view.pitch + x * 4], 4);
		return pixel & 0xffffff;
	}
	uint16 Rgb565(int32 x, int32 y) const
	{
		uint16 pixel;
		memcpy(&pixel, &bytes[static_cast<size_t>(y) * view.pitch + x * 2], 2);
		return pixel;
	}
	// Bytes still kUntouched, padding included.
	size_t CountUntouched() const
	{
		size_t count = 0;
		for (uint8 byte : bytes)
			count += byte == kUntouched;
		return count;
	}

	std::vector<uint8> bytes;
	ScanoutBuffer view;
};

// A 4 x 3 frame, purple with a white top-left and a red bottom-right pixel.
struct MarkedFrame : Framebuffer
{
	MarkedFrame() : Framebuffer(4, 3)
	{
		FillRect(Bounds(), kPurple, Bounds());
		FillRect(BRect(0, 0, 0, 0), kWhite, Bounds());
		FillRect(BRect(3, 2, 3, 2), kRed, Bounds());
	}
};

} // namespace

TEST(ScanoutBuffer, PutsTheFrameAtItsPlaceInALargerBufferWithPaddedRows)
{
	MarkedFrame frame;
	// 7 x 5 pixels, rows of 36 bytes (8 bytes of padding each).
	TestBuffer screen(7, 5, 36, ScanoutFormat::kXrgb8888);
	std::vector<uint32> scratch;
	const BRect written = PlaceDamage(frame, BPoint(2, 1), frame.Bounds(), screen.view, &scratch);

	EXPECT_EQ(written, BRect(2, 1, 5, 3));
	EXPECT_EQ(screen.Xrgb(2, 1), 0xffffffu);
	EXPECT_EQ(screen.Xrgb(5, 3), 0xff0000u);
	EXPECT_EQ(screen.Xrgb(3, 2), 0x8442ffu);
	// 12 pixels written, nothing else: not the pixels around, not the padding.
	EXPECT_EQ(screen.CountUntouched(), screen.bytes.size() - 12 * 4);

	BPrivate::ClearScanout(screen.view);
	EXPECT_EQ(screen.CountUntouched(), 0u);
	EXPECT_EQ(std::count(screen.bytes.begin(), screen.bytes.end(), 0), 36 * 5);
}

TEST(ScanoutBuffer, CutsTheFrameAtTheEdgesOfASmallerBuffer)
{
	MarkedFrame frame;
	TestBuffer screen(3, 2, 12, ScanoutFormat::kXrgb8888);
	std::vector<uint32> scratch;

	EXPECT_EQ(PlaceDamage(frame, BPoint(0, 0), frame.Bounds(), screen.view, &scratch),
	          BRect(0, 0, 2, 1));
	EXPECT_EQ(screen.Xrgb(0, 0), 0xffffffu);
	EXPECT_EQ(screen.Xrgb(2, 1), 0x8442ffu);
	EXPECT_EQ(screen.CountUntouched(), 0u);

	// Only the frame's top-left pixel falls on the screen; then none at all.
	TestBuffer corner(3, 2, 12, ScanoutFormat::kXrgb8888);
	EXPECT_EQ(PlaceDamage(frame, BPoint(2, 1), frame.Bounds(), corner.view, &scratch),
	          BRect(2, 1, 2, 1));
	EXPECT_EQ(corner.Xrgb(2, 1), 0xffffffu);
	EXPECT_EQ(corner.CountUntouched(), corner.bytes.size() - 4);
	EXPECT_FALSE(PlaceDamage(frame, BPoint(3, 0), frame.Bounds(), corner.view, &scratch).IsValid());
	EXPECT_EQ(corner.CountUntouched(), corner.bytes.size() - 4);
}

TEST(ScanoutBuffer, CopiesOnlyTheDamage)
{
	MarkedFrame frame;
	// Rows of 34 bytes: pixels that do not start on a 4-byte boundary.
	TestBuffer screen(8, 8, 34, ScanoutFormat::kXrgb8888);
	std::vector<uint32> scratch;
	EXPECT_EQ(PlaceDamage(frame, BPoint(4, 4), BRect(2, 1, 3, 2), screen.view, &scratch),
	          BRect(6, 5, 7, 6));
	EXPECT_EQ(screen.Xrgb(7, 6), 0xff0000u);
	EXPECT_EQ(screen.Xrgb(6, 5), 0x8442ffu);
	EXPECT_EQ(screen.CountUntouched(), screen.bytes.size() - 4 * 4);
}

TEST(ScanoutBuffer, ConvertsToRgb565)
{
	Framebuffer frame(5, 1);
	frame.FillRect(BRect(0, 0, 0, 0), kRed, frame.Bounds());
	frame.FillRect(BRect(1, 0, 1, 0), kGreen, frame.Bounds());
	frame.FillRect(BRect(2, 0, 2, 0), kBlue, frame.Bounds());
	frame.FillRect(BRect(3, 0, 3, 0), kWhite, frame.Bounds());
	frame.FillRect(BRect(4, 0, 4, 0), kPurple, frame.Bounds());
	// Rows of 16 bytes: 6 pixels and 4 bytes of padding.
	TestBuffer screen(6, 2, 16, ScanoutFormat::kRgb565);
	std::vector<uint32> scratch;
	EXPECT_EQ(PlaceDamage(frame, BPoint(1, 1), frame.Bounds(), screen.view, &scratch),
	          BRect(1, 1, 5, 1));
	EXPECT_EQ(screen.Rgb565(1, 1), 0xf800);
	EXPECT_EQ(screen.Rgb565(2, 1), 0x07e0);
	EXPECT_EQ(screen.Rgb565(3, 1), 0x001f);
	EXPECT_EQ(screen.Rgb565(4, 1), 0xffff);
	// 132 >> 3, 66 >> 2, 255 >> 3.
	EXPECT_EQ(screen.Rgb565(5, 1), (16 << 11) | (16 << 5) | 31);
	EXPECT_EQ(screen.CountUntouched(), screen.bytes.size() - 5 * 2);
}
