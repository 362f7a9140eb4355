#include "interface/Framebuffer.h"

#include <string.h>

#include <memory>
#include <thread>
#include <vector>

#include <Bitmap.h>
#include <Font.h>

#include <gtest/gtest.h>

#include "interface/FontFace.h"
#include "support/ImageFiles.h"
#include "support/TempDirectory.h"

using BPrivate::Framebuffer;

namespace {

const rgb_color kBlack = {0, 0, 0, 255};
const rgb_color kPurple = {132, 66, 255, 255};
const rgb_color kWhite = {255, 255, 255, 255};

// Every pixel of the framebuffer is `inside` within `box` (inclusive) and `outside` elsewhere.
void ExpectOnly(const Framebuffer& framebuffer, int32 left, int32 top, int32 right, int32 bottom,
                rgb_color inside, rgb_color outside = kBlack)
{
	int32 wrong = 0;
	for (int32 y = 0; y < framebuffer.Height(); y++) {
		for (int32 x = 0; x < framebuffer.Width(); x++) {
			bool in = x >= left && x <= right && y >= top && y <= bottom;
			rgb_color expected = in ? inside : outside;
			if (framebuffer.PixelAt(x, y) != expected && wrong++ < 5)
				ADD_FAILURE() << "pixel (" << x << ", " << y << ") is wrong";
		}
	}
	EXPECT_EQ(wrong, 0);
}

// A bitmap holding `image`.
std::unique_ptr<BBitmap> BitmapOf(const ImageFiles::Image& image, color_space space)
{
	auto bitmap = std::make_unique<BBitmap>(BRect(0, 0, image.width - 1, image.height - 1), space);
	EXPECT_EQ(bitmap->InitCheck(), B_OK);
	uint8* bits = static_cast<uint8*>(bitmap->Bits());
	for (int32 y = 0; y < image.height; y++) {
		uint32* row = reinterpret_cast<uint32*>(bits + size_t(y) * bitmap->BytesPerRow());
		for (int32 x = 0; x < image.width; x++)
			row[x] = image.At(x, y);
	}
	return bitmap;
}

uint32 Packed(rgb_color color)
{
	return (uint32(color.alpha) << 24) | (uint32(color.red) << 16) | (uint32(color.green) << 8) |
	       color.blue;
}

BFont ResetFont()
{
	BFont font;
	EXPECT_EQ(font.SetFamilyAndStyle("Monospac821 BT", "Bold"), B_OK);
	font.SetSize(40);
	return font;
}

// Whether (x, y) lies in the bitmap box of one of the glyphs of `text` drawn from `baseline`.
bool InGlyphBox(const BFont& font, const char* text, int32 baseX, int32 baseY, int32 x, int32 y)
{
	int32 pen = baseX;
	for (const char* c = text; *c != '\0'; c++) {
		auto glyph = font.Face()->GlyphFor(uint8(*c), font.Size());
		int32 left = pen + glyph->left;
		int32 top = baseY - glyph->top;
		if (x >= left && x < left + glyph->width && y >= top && y < top + glyph->height)
			return true;
		pen += glyph->advance;
	}
	return false;
}

} // namespace

TEST(Framebuffer, StartsOpaqueBlackWithNoDamage)
{
	Framebuffer framebuffer(16, 8);
	EXPECT_EQ(framebuffer.Bounds(), BRect(0, 0, 15, 7));
	ExpectOnly(framebuffer, 0, 0, -1, -1, kBlack);
	BRect damage;
	EXPECT_FALSE(framebuffer.TakeDamage(&damage));
}

TEST(Framebuffer, FillRectCoversBothEdgesInclusive)
{
	Framebuffer framebuffer(1024, 768);
	framebuffer.FillRect(BRect(320, 559, 704, 654), kPurple, framebuffer.Bounds());
	ExpectOnly(framebuffer, 320, 559, 704, 654, kPurple);
}

TEST(Framebuffer, FillRectFloorsFractionalEdges)
{
	Framebuffer framebuffer(10, 10);
	framebuffer.FillRect(BRect(1.5f, 2.9f, 4.99f, 5.01f), kWhite, framebuffer.Bounds());
	ExpectOnly(framebuffer, 1, 2, 4, 5, kWhite);
}

TEST(Framebuffer, FillRectIsClippedToTheFramebufferAndToTheClip)
{
	Framebuffer framebuffer(20, 20);
	framebuffer.FillRect(BRect(-100, -100, 1000, 1000), kWhite, BRect(3, 4, 8, 9));
	ExpectOnly(framebuffer, 3, 4, 8, 9, kWhite);

	Framebuffer other(20, 20);
	other.FillRect(BRect(15, 15, 40, 40), kWhite, BRect(-5, -5, 100, 100));
	ExpectOnly(other, 15, 15, 19, 19, kWhite);
}

TEST(Framebuffer, FillRectWithInvalidRectOrClipPaintsNothing)
{
	Framebuffer framebuffer(10, 10);
	framebuffer.FillRect(BRect(), kWhite, framebuffer.Bounds());
	framebuffer.FillRect(BRect(2, 2, 5, 5), kWhite, BRect());
	framebuffer.FillRect(BRect(2, 2, 5, 5), kWhite, BRect(6, 6, 9, 9));
	framebuffer.FillRect(BRect(-50, 2, -1, 5), kWhite, BRect(-100, -100, 100, 100));
	ExpectOnly(framebuffer, 0, 0, -1, -1, kBlack);
	BRect damage;
	EXPECT_FALSE(framebuffer.TakeDamage(&damage));
}

TEST(Framebuffer, FillRectStoresOpaquePixelsWhateverTheAlpha)
{
	Framebuffer framebuffer(4, 4);
	framebuffer.FillRect(framebuffer.Bounds(), rgb_color{10, 20, 30, 0}, framebuffer.Bounds());
	ExpectOnly(framebuffer, 0, 0, 3, 3, rgb_color{10, 20, 30, 255});
}

TEST(Framebuffer, DamageIsTheUnionOfWhatWasPaintedUntilTaken)
{
	Framebuffer framebuffer(100, 100);
	framebuffer.FillRect(BRect(10, 20, 15, 25), kWhite, framebuffer.Bounds());
	framebuffer.FillRect(BRect(40, 5, 50, 8), kWhite, framebuffer.Bounds());
	// Clipped away entirely: adds no damage.
	framebuffer.FillRect(BRect(90, 90, 99, 99), kWhite, BRect(0, 0, 10, 10));

	BRect damage;
	ASSERT_TRUE(framebuffer.TakeDamage(&damage));
	EXPECT_EQ(damage, BRect(10, 5, 50, 25));
	EXPECT_FALSE(framebuffer.TakeDamage(&damage));

	framebuffer.FillRect(BRect(-10, 98, 3, 200), kWhite, framebuffer.Bounds());
	ASSERT_TRUE(framebuffer.TakeDamage(&damage));
	EXPECT_EQ(damage, BRect(0, 98, 3, 99));
}

TEST(Framebuffer, CopyPixelsPutsTheAreaTopLeftAtTheFirstPixel)
{
	Framebuffer framebuffer(30, 20);
	framebuffer.FillRect(BRect(5, 5, 6, 6), kPurple, framebuffer.Bounds());

	const int32 stride = 8;
	const uint32 kUntouched = 0x12345678;
	std::vector<uint32> buffer(stride * 4, kUntouched);
	framebuffer.CopyPixels(BRect(4, 4, 7, 7), buffer.data(), stride);
	for (int32 y = 0; y < 4; y++) {
		for (int32 x = 0; x < stride; x++) {
			uint32 expected = x >= 4                                     ? kUntouched
			                  : (x == 1 || x == 2) && (y == 1 || y == 2) ? Packed(kPurple)
			                                                             : Packed(kBlack);
			EXPECT_EQ(buffer[y * stride + x], expected) << x << ", " << y;
		}
	}
}

TEST(Framebuffer, CopyPixelsClipsTheAreaButKeepsItsOrigin)
{
	Framebuffer framebuffer(10, 10);
	framebuffer.FillRect(BRect(0, 0, 0, 0), kWhite, framebuffer.Bounds());

	const uint32 kUntouched = 0x12345678;
	std::vector<uint32> buffer(4 * 4, kUntouched);
	framebuffer.CopyPixels(BRect(-2, -2, 1, 1), buffer.data(), 4);
	for (int32 y = 0; y < 4; y++) {
		for (int32 x = 0; x < 4; x++) {
			uint32 expected = x < 2 || y < 2     ? kUntouched
			                  : x == 2 && y == 2 ? Packed(kWhite)
			                                     : Packed(kBlack);
			EXPECT_EQ(buffer[y * 4 + x], expected) << x << ", " << y;
		}
	}
}

TEST(Framebuffer, DrawBitmapCopiesAnOpaqueImageExactly)
{
	Framebuffer framebuffer(1024, 768);
	ImageFiles::Image image = ImageFiles::Pattern(200, 120);
	for (color_space space : {B_RGB32, B_RGBA32}) {
		auto bitmap = BitmapOf(image, space);
		framebuffer.DrawBitmap(*bitmap, BPoint(412, 284), framebuffer.Bounds());

		std::vector<uint32> copy(200 * 120);
		framebuffer.CopyPixels(BRect(412, 284, 611, 403), copy.data(), 200);
		EXPECT_EQ(copy, image.pixels) << "colour space " << space;
		EXPECT_EQ(framebuffer.PixelAt(411, 284), kBlack);
		EXPECT_EQ(framebuffer.PixelAt(612, 403), kBlack);
		EXPECT_EQ(framebuffer.PixelAt(412, 404), kBlack);

		BRect damage;
		ASSERT_TRUE(framebuffer.TakeDamage(&damage));
		EXPECT_EQ(damage, BRect(412, 284, 611, 403));
	}
}

TEST(Framebuffer, DrawBitmapIgnoresAlphaOfRgb32)
{
	Framebuffer framebuffer(4, 4);
	ImageFiles::Image image = ImageFiles::Pattern(2, 2);
	for (uint32& pixel : image.pixels)
		pixel &= 0x00ffffff;
	framebuffer.DrawBitmap(*BitmapOf(image, B_RGB32), BPoint(1, 1), framebuffer.Bounds());
	EXPECT_EQ(Packed(framebuffer.PixelAt(1, 1)), image.At(0, 0) | 0xff000000);
	EXPECT_EQ(Packed(framebuffer.PixelAt(2, 2)), image.At(1, 1) | 0xff000000);
}

TEST(Framebuffer, DrawBitmapBlendsRgba32ByAlpha)
{
	Framebuffer framebuffer(3, 1);
	framebuffer.FillRect(framebuffer.Bounds(), kWhite, framebuffer.Bounds());
	ImageFiles::Image image;
	image.width = 3;
	image.height = 1;
	// Transparent, half-covered and opaque red over white.
	image.pixels = {0x00ff0000, 0x80ff0000, 0xffff0000};
	framebuffer.DrawBitmap(*BitmapOf(image, B_RGBA32), B_ORIGIN, framebuffer.Bounds());
	EXPECT_EQ(framebuffer.PixelAt(0, 0), kWhite);
	EXPECT_EQ(framebuffer.PixelAt(1, 0), (rgb_color{255, 127, 127, 255}));
	EXPECT_EQ(framebuffer.PixelAt(2, 0), (rgb_color{255, 0, 0, 255}));
}

TEST(Framebuffer, DrawBitmapIsClippedAtTheEdges)
{
	ImageFiles::Image image = ImageFiles::Pattern(10, 10);
	auto bitmap = BitmapOf(image, B_RGB32);

	Framebuffer framebuffer(20, 20);
	framebuffer.DrawBitmap(*bitmap, BPoint(-3, -4), framebuffer.Bounds());
	framebuffer.DrawBitmap(*bitmap, BPoint(15, 17), framebuffer.Bounds());
	for (int32 y = 0; y < 20; y++) {
		for (int32 x = 0; x < 20; x++) {
			uint32 expected = Packed(kBlack);
			if (x <= 6 && y <= 5)
				expected = image.At(x + 3, y + 4);
			else if (x >= 15 && y >= 17)
				expected = image.At(x - 15, y - 17);
			ASSERT_EQ(Packed(framebuffer.PixelAt(x, y)), expected) << x << ", " << y;
		}
	}
}

TEST(Framebuffer, DrawBitmapHonoursTheClip)
{
	ImageFiles::Image image = ImageFiles::Pattern(10, 10);
	Framebuffer framebuffer(20, 20);
	framebuffer.DrawBitmap(*BitmapOf(image, B_RGB32), BPoint(5, 5), BRect(7, 8, 9, 30));
	for (int32 y = 0; y < 20; y++) {
		for (int32 x = 0; x < 20; x++) {
			bool in = x >= 7 && x <= 9 && y >= 8 && y <= 14;
			uint32 expected = in ? image.At(x - 5, y - 5) : Packed(kBlack);
			ASSERT_EQ(Packed(framebuffer.PixelAt(x, y)), expected) << x << ", " << y;
		}
	}
}

TEST(Framebuffer, DrawBitmapOfAnInvalidBitmapDrawsNothing)
{
	Framebuffer framebuffer(8, 8);
	BBitmap tooLarge(BRect(0, 0, 59999, 59999), B_RGB32);
	BBitmap wrongSpace(BRect(0, 0, 3, 3), B_CMAP8);
	framebuffer.DrawBitmap(tooLarge, B_ORIGIN, framebuffer.Bounds());
	framebuffer.DrawBitmap(wrongSpace, B_ORIGIN, framebuffer.Bounds());
	BRect damage;
	EXPECT_FALSE(framebuffer.TakeDamage(&damage));
}

TEST(Framebuffer, SavePngWritesEveryPixel)
{
	VelmoTest::TempDirectory directory;
	Framebuffer framebuffer(64, 48);
	ImageFiles::Image image = ImageFiles::Pattern(40, 30);
	framebuffer.DrawBitmap(*BitmapOf(image, B_RGB32), BPoint(10, 9), framebuffer.Bounds());
	framebuffer.FillRect(BRect(0, 0, 3, 3), kPurple, framebuffer.Bounds());

	std::string path = directory.Join("screen.png");
	ASSERT_EQ(framebuffer.SavePNG(path.c_str()), B_OK);
	ImageFiles::Image saved = ImageFiles::Load(path);
	ASSERT_EQ(saved.width, 64);
	ASSERT_EQ(saved.height, 48);
	std::vector<uint32> expected(64 * 48);
	framebuffer.CopyPixels(framebuffer.Bounds(), expected.data(), 64);
	EXPECT_EQ(saved.pixels, expected);
}

TEST(Framebuffer, SavePngIntoAMissingDirectoryFails)
{
	VelmoTest::TempDirectory directory;
	Framebuffer framebuffer(4, 4);
	EXPECT_EQ(framebuffer.SavePNG(directory.Join("missing/screen.png").c_str()), B_ENTRY_NOT_FOUND);
	EXPECT_EQ(framebuffer.SavePNG(""), B_BAD_VALUE);
}

TEST(Framebuffer, DrawStringPaintsInsideTheGlyphBoxesOnlyInTheHighColour)
{
	Framebuffer framebuffer(1024, 768);
	BFont font = ResetFont();
	const char* text = "Remove floppy   ";
	BPoint end = framebuffer.DrawString(font, text, strlen(text), BPoint(320, 599), kPurple,
	                                    framebuffer.Bounds());
	EXPECT_EQ(end, BPoint(320 + 384, 599));

	int32 painted = 0;
	int32 full = 0;
	for (int32 y = 0; y < 768; y++) {
		for (int32 x = 0; x < 1024; x++) {
			rgb_color pixel = framebuffer.PixelAt(x, y);
			if (pixel == kBlack)
				continue;
			painted++;
			if (pixel == kPurple)
				full++;
			ASSERT_TRUE(InGlyphBox(font, text, 320, 599, x, y)) << x << ", " << y;
			// Purple over black by some coverage: no channel goes past the high colour's.
			ASSERT_LE(pixel.red, kPurple.red);
			ASSERT_LE(pixel.green, kPurple.green);
			ASSERT_EQ(pixel.alpha, 255);
			// Nothing left of the baseline start (but for a few pixels of side bearing), nothing
			// right of where the last visible letter ends, nothing far above or below the line.
			ASSERT_GE(x, 317);
			ASSERT_LT(x, 320 + 13 * 24 + 3);
			ASSERT_GT(y, 599 - 45);
			ASSERT_LT(y, 599 + 15);
		}
	}
	EXPECT_GT(painted, 1000);
	EXPECT_GT(full, 100);

	BRect damage;
	ASSERT_TRUE(framebuffer.TakeDamage(&damage));
	EXPECT_GE(damage.left, 317);
	EXPECT_LE(damage.right, 704);
}

TEST(Framebuffer, DrawStringBlendsOverWhatIsThere)
{
	Framebuffer framebuffer(200, 100);
	framebuffer.FillRect(framebuffer.Bounds(), kWhite, framebuffer.Bounds());
	BFont font = ResetFont();
	framebuffer.DrawString(font, "M", 1, BPoint(10, 60), kPurple, framebuffer.Bounds());
	int32 full = 0;
	for (int32 y = 0; y < 100; y++) {
		for (int32 x = 0; x < 200; x++) {
			rgb_color pixel = framebuffer.PixelAt(x, y);
			// White towards purple: the blue channel stays at 255 throughout.
			ASSERT_EQ(pixel.blue, 255);
			if (pixel == kPurple)
				full++;
		}
	}
	EXPECT_GT(full, 50);
}

TEST(Framebuffer, DrawStringPaintsNothingOutsideTheClip)
{
	Framebuffer framebuffer(1024, 768);
	BFont font = ResetFont();
	BRect clip(330, 570, 400, 590);
	framebuffer.DrawString(font, "Insert CD, ENTER", 16, BPoint(320, 599), kPurple, clip);
	int32 inside = 0;
	for (int32 y = 0; y < 768; y++) {
		for (int32 x = 0; x < 1024; x++) {
			if (framebuffer.PixelAt(x, y) == kBlack)
				continue;
			ASSERT_TRUE(clip.Contains(BPoint(x, y))) << x << ", " << y;
			inside++;
		}
	}
	EXPECT_GT(inside, 0);
}

TEST(Framebuffer, DrawStringReadsNoFurtherThanTheLength)
{
	Framebuffer framebuffer(300, 100);
	BFont font = ResetFont();
	// Exactly as long as the length, no NUL after it: a decoder reading on would be caught by
	// AddressSanitizer. It ends in a lead byte whose continuation is missing.
	std::vector<char> text = {'A', 'B', '\xe2'};
	auto owned = std::make_unique<char[]>(text.size());
	memcpy(owned.get(), text.data(), text.size());
	BPoint end = framebuffer.DrawString(font, owned.get(), int32(text.size()), BPoint(10, 60),
	                                    kPurple, framebuffer.Bounds());
	EXPECT_EQ(end.x, 10 + font.StringWidth(owned.get(), int32(text.size())));
	EXPECT_EQ(
	    framebuffer.DrawString(font, owned.get(), 0, BPoint(5, 6), kPurple, framebuffer.Bounds()),
	    BPoint(5, 6));
}

TEST(Framebuffer, DrawStringOfSpacesPaintsNothingButAdvances)
{
	Framebuffer framebuffer(300, 100);
	BFont font = ResetFont();
	BPoint end =
	    framebuffer.DrawString(font, "   ", 3, BPoint(10.5f, 60), kPurple, framebuffer.Bounds());
	EXPECT_EQ(end, BPoint(10.5f + 72, 60));
	BRect damage;
	EXPECT_FALSE(framebuffer.TakeDamage(&damage));
}

// Run under ThreadSanitizer: a window thread draws while a display thread takes the damage
// and copies pixels out.
TEST(Framebuffer, DrawingAndReadingFromTwoThreadsIsSafe)
{
	Framebuffer framebuffer(320, 200);
	BFont font = ResetFont();
	std::thread drawer([&] {
		for (int32 i = 0; i < 200; i++) {
			framebuffer.FillRect(BRect(i % 100, 10, i % 100 + 50, 60), i % 2 ? kWhite : kBlack,
			                     framebuffer.Bounds());
			framebuffer.DrawString(font, "Reset", 5, BPoint(10, 150), kPurple,
			                       framebuffer.Bounds());
		}
	});
	std::vector<uint32> copy(320 * 200);
	int32 taken = 0;
	for (int32 i = 0; i < 200; i++) {
		BRect damage;
		if (framebuffer.TakeDamage(&damage)) {
			taken++;
			EXPECT_TRUE(damage.IsValid());
		}
		framebuffer.CopyPixels(framebuffer.Bounds(), copy.data(), 320);
	}
	drawer.join();
	BRect damage;
	if (framebuffer.TakeDamage(&damage))
		taken++;
	EXPECT_GT(taken, 0);
}
