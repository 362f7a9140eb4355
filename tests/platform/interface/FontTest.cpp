#include <Font.h>

#include <math.h>
#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "interface/FontFace.h"

namespace {

std::string FamilyOf(const BFont& font)
{
	font_family family;
	font_style style;
	font.GetFamilyAndStyle(&family, &style);
	return family;
}

std::string StyleOf(const BFont& font)
{
	font_family family;
	font_style style;
	font.GetFamilyAndStyle(&family, &style);
	return style;
}

} // namespace

TEST(BFont, DefaultIsACopyOfThePlainSystemFont)
{
	BFont font;
	ASSERT_NE(be_plain_font, nullptr);
	EXPECT_EQ(font, *be_plain_font);
	EXPECT_EQ(font.Size(), 12);
	EXPECT_NE(font.Face(), nullptr);
	EXPECT_FALSE(font.Face()->IsFixedWidth()) << font.Face()->Path();
	EXPECT_GT(font.StringWidth("Reset"), 0);
}

TEST(BFont, SystemFontsAreBoldAndFixedAsNamed)
{
	ASSERT_NE(be_bold_font, nullptr);
	ASSERT_NE(be_fixed_font, nullptr);
	EXPECT_TRUE(be_bold_font->Face()->IsBold()) << be_bold_font->Face()->Path();
	EXPECT_FALSE(be_plain_font->Face()->IsBold()) << be_plain_font->Face()->Path();
	EXPECT_TRUE(be_fixed_font->Face()->IsFixedWidth()) << be_fixed_font->Face()->Path();
	EXPECT_EQ(FamilyOf(*be_fixed_font), "Monospac821 BT");
}

TEST(BFont, MissingBeOsMonospaceBoldFallsBackToAnInstalledMonospaceBoldFace)
{
	BFont font;
	ASSERT_EQ(font.SetFamilyAndStyle("Monospac821 BT", "Bold"), B_OK);
	const BPrivate::FontFace& face = *font.Face();
	EXPECT_TRUE(face.IsFixedWidth()) << face.Path();
	EXPECT_TRUE(face.IsBold()) << face.Path();
	// What was asked for is what the font reports, as on BeOS.
	EXPECT_EQ(FamilyOf(font), "Monospac821 BT");
	EXPECT_EQ(StyleOf(font), "Bold");
}

TEST(BFont, InstalledFamilyIsTakenAsItIs)
{
	BFont font;
	ASSERT_EQ(font.SetFamilyAndStyle("Noto Sans Mono", "Regular"), B_OK);
	EXPECT_EQ(font.Face()->FamilyName(), "Noto Sans Mono");
	EXPECT_FALSE(font.Face()->IsBold());
}

TEST(BFont, UnknownFamilyWithoutStandInIsNotFoundAndLeavesTheFontUnchanged)
{
	BFont font;
	font.SetSize(17);
	ASSERT_EQ(font.SetFamilyAndStyle("Monospac821 BT", "Bold"), B_OK);
	BFont before(font);
	EXPECT_EQ(font.SetFamilyAndStyle("No Such Family 7f3a", "Bold"), B_NAME_NOT_FOUND);
	EXPECT_EQ(font, before);
	EXPECT_EQ(FamilyOf(font), "Monospac821 BT");
	EXPECT_EQ(font.Size(), 17);
	EXPECT_EQ(font.SetFamilyAndStyle("", "Bold"), B_NAME_NOT_FOUND);
	EXPECT_EQ(font, before);
}

TEST(BFont, MonospaceBoldAtFortyIsTwentyFourPixelsACharacter)
{
	BFont font;
	ASSERT_EQ(font.SetFamilyAndStyle("Monospac821 BT", "Bold"), B_OK);
	font.SetSize(40);
	EXPECT_EQ(font.Size(), 40);
	EXPECT_EQ(font.StringWidth("Remove floppy   "), 384) << font.Face()->Path();
	EXPECT_EQ(font.StringWidth("Insert CD, ENTER"), 384);
	EXPECT_EQ(font.StringWidth("Remove floppy   ", 6), 144);
	EXPECT_EQ(font.StringWidth(""), 0);
	EXPECT_EQ(font.StringWidth(nullptr), 0);
}

TEST(BFont, StringWidthStopsAtTheLengthAndAtNul)
{
	BFont font;
	ASSERT_EQ(font.SetFamilyAndStyle("Monospac821 BT", "Roman"), B_OK);
	font.SetSize(20);
	float one = font.StringWidth("x");
	ASSERT_GT(one, 0);
	EXPECT_EQ(font.StringWidth("xxxx", 2), 2 * one);
	const char withNul[] = {'x', 'x', '\0', 'x', 'x'};
	EXPECT_EQ(font.StringWidth(withNul, 5), 2 * one);
}

TEST(BFont, InvalidUtf8TakesOneCharacterAByteAndNeverReadsPastTheLength)
{
	BFont font;
	ASSERT_EQ(font.SetFamilyAndStyle("Monospac821 BT", "Roman"), B_OK);
	font.SetSize(20);
	float one = font.StringWidth("x");
	float replacement = font.StringWidth("\xef\xbf\xbd"); // U+FFFD
	ASSERT_GT(replacement, 0);
	// A lead byte with its continuation cut off by the length, and stray continuation bytes.
	const char cut[] = "x\xe2\x82";
	EXPECT_EQ(font.StringWidth(cut, 2), one + replacement);
	EXPECT_EQ(font.StringWidth("\x80\x80", 2), 2 * replacement);
	// An overlong '/' and a surrogate are refused byte by byte.
	EXPECT_EQ(font.StringWidth("\xc0\xaf"), 2 * replacement);
	EXPECT_EQ(font.StringWidth("\xed\xa0\x80"), 3 * replacement);
	EXPECT_EQ(font.StringWidth("\xc3\xa9"), one); // é is one character
}

TEST(BFont, HeightGrowsWithTheSize)
{
	BFont font;
	ASSERT_EQ(font.SetFamilyAndStyle("Monospac821 BT", "Bold"), B_OK);
	font.SetSize(40);
	font_height height;
	font.GetHeight(&height);
	EXPECT_GT(height.ascent, 25);
	EXPECT_LT(height.ascent, 50);
	EXPECT_GT(height.descent, 5);
	EXPECT_LT(height.descent, 20);
	EXPECT_GE(height.leading, 0);

	font.SetSize(20);
	font_height half;
	font.GetHeight(&half);
	EXPECT_NEAR(half.ascent * 2, height.ascent, 2);
}

TEST(BFont, SizeIsClampedToSaneValues)
{
	BFont font;
	font.SetSize(-5);
	EXPECT_EQ(font.Size(), 0);
	EXPECT_EQ(font.StringWidth("abc"), 0);
	font.SetSize(NAN);
	EXPECT_EQ(font.Size(), 0);
	font.SetSize(1e9f);
	EXPECT_EQ(font.Size(), BPrivate::FontFace::kMaxSize);
}

TEST(BFont, CopiesCompareEqualAndShareTheFace)
{
	BFont font;
	ASSERT_EQ(font.SetFamilyAndStyle("Monospac821 BT", "Bold"), B_OK);
	BFont copy(&font);
	EXPECT_EQ(copy, font);
	EXPECT_EQ(copy.Face(), font.Face());
	copy.SetSize(41);
	EXPECT_NE(copy, font);
	BFont fromNull(static_cast<const BFont*>(nullptr));
	EXPECT_EQ(fromNull, *be_plain_font);
}

TEST(BFont, SerifAndSansStandInsAreFound)
{
	BFont sans;
	EXPECT_EQ(sans.SetFamilyAndStyle("Swis721 BT", "Roman"), B_OK);
	EXPECT_FALSE(sans.Face()->IsFixedWidth());
	BFont serif;
	EXPECT_EQ(serif.SetFamilyAndStyle("Dutch801 Rm BT", "Italic"), B_OK);
	EXPECT_FALSE(serif.Face()->IsFixedWidth());
}
