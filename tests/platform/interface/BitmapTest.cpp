#include <Bitmap.h>

#include <math.h>

#include <gtest/gtest.h>

TEST(BBitmap, Rgb32HasFourBytesAPixelAllZero)
{
	BBitmap bitmap(BRect(0, 0, 63, 31), B_RGB32);
	ASSERT_EQ(bitmap.InitCheck(), B_OK);
	EXPECT_TRUE(bitmap.IsValid());
	EXPECT_EQ(bitmap.Bounds(), BRect(0, 0, 63, 31));
	EXPECT_EQ(bitmap.ColorSpace(), B_RGB32);
	EXPECT_EQ(bitmap.BytesPerRow(), 64 * 4);
	EXPECT_EQ(bitmap.BitsLength(), 64 * 4 * 32);
	ASSERT_NE(bitmap.Bits(), nullptr);
	const uint8* bits = static_cast<const uint8*>(bitmap.Bits());
	for (int32 i = 0; i < bitmap.BitsLength(); i++)
		ASSERT_EQ(bits[i], 0) << "byte " << i;
}

TEST(BBitmap, Rgba32KeepsBoundsThatDoNotStartAtTheOrigin)
{
	BBitmap bitmap(BRect(10, 20, 19, 24), B_RGBA32);
	ASSERT_EQ(bitmap.InitCheck(), B_OK);
	EXPECT_EQ(bitmap.Bounds(), BRect(10, 20, 19, 24));
	EXPECT_EQ(bitmap.BytesPerRow(), 40);
	EXPECT_EQ(bitmap.BitsLength(), 40 * 5);
}

TEST(BBitmap, OnePixelBitmapIsValid)
{
	BBitmap bitmap(BRect(0, 0, 0, 0), B_RGBA32);
	ASSERT_EQ(bitmap.InitCheck(), B_OK);
	EXPECT_EQ(bitmap.BitsLength(), 4);
}

TEST(BBitmap, OtherColourSpacesAreRefusedWithBadValue)
{
	for (color_space space :
	     {B_NO_COLOR_SPACE, B_RGB24, B_RGB16, B_RGB15, B_CMAP8, B_GRAY8, B_GRAY1}) {
		BBitmap bitmap(BRect(0, 0, 7, 7), space);
		EXPECT_EQ(bitmap.InitCheck(), B_BAD_VALUE) << space;
		EXPECT_FALSE(bitmap.IsValid());
		EXPECT_EQ(bitmap.Bits(), nullptr);
		EXPECT_EQ(bitmap.BitsLength(), 0);
	}
}

TEST(BBitmap, InvalidBoundsAreRefusedWithBadValue)
{
	BBitmap empty(BRect(), B_RGB32);
	EXPECT_EQ(empty.InitCheck(), B_BAD_VALUE);
	BBitmap notANumber(BRect(0, 0, NAN, 10), B_RGB32);
	EXPECT_EQ(notANumber.InitCheck(), B_BAD_VALUE);
	BBitmap infinite(BRect(0, 0, INFINITY, 10), B_RGB32);
	EXPECT_EQ(infinite.InitCheck(), B_BAD_VALUE);
	EXPECT_EQ(infinite.Bits(), nullptr);
}

// Under AddressSanitizer an allocation this large would abort the process: these must be refused
// before anything is allocated.
TEST(BBitmap, AbsurdSizesAreRefusedWithNoMemoryBeforeAllocating)
{
	const BRect kTooLarge[] = {
	    BRect(0, 0, 59999, 59999), BRect(0, 0, 16384, 0), // one pixel too wide
	    BRect(0, 0, 0, 16384),                            // one pixel too tall
	    BRect(0, 0, 9999, 9999),  // each side allowed, 100 million pixels in all
	    BRect(0, 0, 3e9f, 3e9f),  // past any integer
	    BRect(-2e9f, 0, 2e9f, 0), // a width that overflows int32
	};
	for (BRect bounds : kTooLarge) {
		BBitmap bitmap(bounds, B_RGBA32);
		EXPECT_EQ(bitmap.InitCheck(), B_NO_MEMORY) << bounds.right << " x " << bounds.bottom;
		EXPECT_EQ(bitmap.Bits(), nullptr);
		EXPECT_EQ(bitmap.BitsLength(), 0);
	}
}

TEST(BBitmap, LargestAllowedSideIsAccepted)
{
	BBitmap bitmap(BRect(0, 0, 16383, 15), B_RGB32);
	ASSERT_EQ(bitmap.InitCheck(), B_OK);
	EXPECT_EQ(bitmap.BytesPerRow(), 16384 * 4);
}
