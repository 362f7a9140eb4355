// The screenshot reader the display tests compare pixels with: on files made here, whose every
// pixel is known, and on a real screenshot.

#include "support/Xwd.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/Xvfb.h"

using VelmoTest::Xvfb;
using VelmoTest::Xwd;

namespace {

struct Layout
{
	uint32_t bitsPerPixel;
	uint32_t byteOrder; // 0 least significant byte first, 1 most
	uint32_t visualClass;
	uint32_t redMask, greenMask, blueMask;
	uint32_t width, height, bytesPerLine;
	std::vector<std::vector<uint32_t>> colors; // pixel, red, green, blue (16 bits)
};

void Put32(std::vector<uint8_t>& out, uint32_t value)
{
	for (int shift = 24; shift >= 0; shift -= 8)
		out.push_back(uint8_t(value >> shift));
}

void Put16(std::vector<uint8_t>& out, uint32_t value)
{
	out.push_back(uint8_t(value >> 8));
	out.push_back(uint8_t(value));
}

// An XWD file as xwd writes one, with `pixels` (raw values, row after row).
std::vector<uint8_t> MakeXwd(const Layout& layout, const std::vector<uint32_t>& pixels)
{
	const std::string name = "test";
	std::vector<uint8_t> out;
	const uint32_t headerSize = 100 + uint32_t(name.size()) + 1;
	const uint32_t fields[25] = {headerSize,
	                             7,
	                             2,
	                             24,
	                             layout.width,
	                             layout.height,
	                             0,
	                             layout.byteOrder,
	                             32,
	                             layout.byteOrder,
	                             32,
	                             layout.bitsPerPixel,
	                             layout.bytesPerLine,
	                             layout.visualClass,
	                             layout.redMask,
	                             layout.greenMask,
	                             layout.blueMask,
	                             8,
	                             uint32_t(layout.colors.size()),
	                             uint32_t(layout.colors.size()),
	                             layout.width,
	                             layout.height,
	                             0,
	                             0,
	                             0};
	for (uint32_t field : fields)
		Put32(out, field);
	out.insert(out.end(), name.begin(), name.end());
	out.push_back(0);
	for (const std::vector<uint32_t>& color : layout.colors) {
		Put32(out, color[0]);
		Put16(out, color[1]);
		Put16(out, color[2]);
		Put16(out, color[3]);
		out.push_back(7);
		out.push_back(0);
	}
	const uint32_t bytesPerPixel = layout.bitsPerPixel / 8;
	for (uint32_t y = 0; y < layout.height; y++) {
		const size_t rowStart = out.size();
		for (uint32_t x = 0; x < layout.width; x++) {
			const uint32_t value = pixels[y * layout.width + x];
			for (uint32_t i = 0; i < bytesPerPixel; i++) {
				const uint32_t shift = layout.byteOrder == 1 ? (bytesPerPixel - 1 - i) * 8 : i * 8;
				out.push_back(uint8_t(value >> shift));
			}
		}
		out.resize(rowStart + layout.bytesPerLine, 0xEE);
	}
	return out;
}

::testing::AssertionResult IsColor(rgb_color actual, uint8_t red, uint8_t green, uint8_t blue)
{
	if (actual.red == red && actual.green == green && actual.blue == blue && actual.alpha == 255)
		return ::testing::AssertionSuccess();
	return ::testing::AssertionFailure()
	       << "(" << int(actual.red) << ", " << int(actual.green) << ", " << int(actual.blue)
	       << ", " << int(actual.alpha) << ")";
}

} // namespace

TEST(Xwd, ReadsTrueColorPixelsLeastSignificantByteFirstWithPaddedRows)
{
	const Layout layout = {32, 0, 4, 0xFF0000, 0xFF00, 0xFF, 3, 2, 16, {}};
	Xwd image;
	std::string error;
	ASSERT_TRUE(image.Parse(
	    MakeXwd(layout, {0x102030, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000}), &error))
	    << error;
	ASSERT_EQ(image.Width(), 3);
	ASSERT_EQ(image.Height(), 2);
	EXPECT_TRUE(IsColor(image.PixelAt(0, 0), 0x10, 0x20, 0x30));
	EXPECT_TRUE(IsColor(image.PixelAt(1, 0), 255, 0, 0));
	EXPECT_TRUE(IsColor(image.PixelAt(2, 0), 0, 255, 0));
	EXPECT_TRUE(IsColor(image.PixelAt(0, 1), 0, 0, 255));
	EXPECT_TRUE(IsColor(image.PixelAt(1, 1), 255, 255, 255));
	EXPECT_TRUE(IsColor(image.PixelAt(2, 1), 0, 0, 0));
}

TEST(Xwd, ScalesSixteenBitPixelsMostSignificantByteFirstToEightBitChannels)
{
	const Layout layout = {16, 1, 4, 0xF800, 0x07E0, 0x001F, 2, 1, 4, {}};
	Xwd image;
	std::string error;
	ASSERT_TRUE(image.Parse(MakeXwd(layout, {0xF800 | 0x001F, 0x07E0}), &error)) << error;
	EXPECT_TRUE(IsColor(image.PixelAt(0, 0), 255, 0, 255));
	EXPECT_TRUE(IsColor(image.PixelAt(1, 0), 0, 255, 0));
}

TEST(Xwd, LooksColorMappedPixelsUpInTheColorMap)
{
	const Layout layout = {8, 0, 3, 0, 0, 0, 2, 1, 4, {{0, 0, 0, 0}, {5, 0xFFFF, 0x8000, 0x0100}}};
	Xwd image;
	std::string error;
	ASSERT_TRUE(image.Parse(MakeXwd(layout, {5, 0}), &error)) << error;
	EXPECT_TRUE(IsColor(image.PixelAt(0, 0), 255, 128, 1));
	EXPECT_TRUE(IsColor(image.PixelAt(1, 0), 0, 0, 0));
}

TEST(Xwd, RejectsFilesCutShortOrOfAnotherVersion)
{
	const Layout layout = {32, 0, 4, 0xFF0000, 0xFF00, 0xFF, 2, 2, 8, {}};
	std::vector<uint8_t> data = MakeXwd(layout, {1, 2, 3, 4});
	Xwd image;
	std::string error;

	std::vector<uint8_t> cut(data.begin(), data.end() - 1);
	EXPECT_FALSE(image.Parse(cut, &error));
	EXPECT_EQ(image.Width(), 0);

	std::vector<uint8_t> version6 = data;
	version6[7] = 6;
	EXPECT_FALSE(image.Parse(version6, &error));

	EXPECT_FALSE(image.Parse({}, &error));
}

TEST(Xwd, ReadsARealScreenshotOfTheWholeScreen)
{
	std::string error;
	std::unique_ptr<Xvfb> server = Xvfb::Start(&error);
	ASSERT_NE(server, nullptr) << error;
	Xwd image;
	ASSERT_TRUE(server->Screenshot(&image, &error)) << error;
	EXPECT_EQ(image.Width(), 1280);
	EXPECT_EQ(image.Height(), 1024);
}
