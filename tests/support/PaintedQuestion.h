#pragma once

// Header only: both whole-screen tests look at screenshots of their own kinds with it.

#include <stdint.h>
#include <stdlib.h>

#include <sstream>
#include <string>

#include "support/DrawnQuestion.h"
#include "support/ImageFiles.h"

namespace VelmoTest {

// The question as the program paints it at the screen's top-left corner, looked at pixel by
// pixel: the logo exactly at (412, 284), in the text area the pixels the view draws for the
// question's lines (DrawnTextArea), black everywhere else.
class PaintedQuestion
{
public:
	// `text`: the text area as DrawnTextArea gives it for the lines the screen must show.
	PaintedQuestion(const ImageFiles::Image& logo, const ImageFiles::Image& text)
	    : fLogo(logo), fText(text)
	{
	}

	// Empty when the pixel at (x, y), showing `shown` (0xRRGGBB), is as painted; else where and
	// what it is.
	std::string WhereNot(int32_t x, int32_t y, uint32_t shown) const
	{
		const bool inLogo = x >= 412 && x < 412 + 200 && y >= 284 && y < 284 + 150;
		const bool inText = x >= kTextAreaLeft && x <= kTextAreaRight && y >= kTextAreaTop &&
		                    y <= kTextAreaBottom;
		uint32_t expected = kBlack;
		if (inText)
			expected = fText.At(x - kTextAreaLeft, y - kTextAreaTop) & 0xffffff;
		else if (inLogo)
			expected = fLogo.At(x - 412, y - 284) & 0xffffff;
		if (Near(shown, expected))
			return "";
		std::ostringstream wanted;
		wanted << "for " << std::hex << expected << (inText ? " in the text area" : "");
		return Describe(x, y, shown, wanted.str());
	}

private:
	// A screen may round a channel of the text's blended edges differently; a wrong glyph
	// differs by far more.
	static bool Near(uint32_t shown, uint32_t expected)
	{
		for (int shift = 0; shift < 24; shift += 8) {
			if (abs(int((shown >> shift) & 0xff) - int((expected >> shift) & 0xff)) > kChannelSlack)
				return false;
		}
		return true;
	}

	static std::string Describe(int32_t x, int32_t y, uint32_t shown, const std::string& what)
	{
		std::ostringstream where;
		where << "(" << x << ", " << y << ") is " << std::hex << shown << " " << what;
		return where.str();
	}

	static const uint32_t kBlack = 0x000000;
	static const int kChannelSlack = 8;

	const ImageFiles::Image& fLogo;
	const ImageFiles::Image& fText;
};

} // namespace VelmoTest
