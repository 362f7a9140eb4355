#pragma once

// Header only: both whole-screen tests look at screenshots of their own kinds with it.

#include <stdint.h>

#include <sstream>
#include <string>

#include "support/ImageFiles.h"

namespace VelmoTest {

// The question as the program paints it at the screen's top-left corner, looked at pixel by
// pixel: the logo exactly at (412, 284), purple text in the text area, black everywhere else.
class PaintedQuestion
{
public:
	explicit PaintedQuestion(const ImageFiles::Image& logo) : fLogo(logo) {}

	// Empty when the pixel at (x, y), showing `shown` (0xRRGGBB), is as painted; else where and
	// what it is.
	std::string WhereNot(int32_t x, int32_t y, uint32_t shown)
	{
		const bool inLogo = x >= 412 && x < 412 + 200 && y >= 284 && y < 284 + 150;
		const bool inText = x >= 320 && x <= 704 && y >= 559 && y <= 654;
		if (inText) {
			// The text's edges blend purple into black: no channel above purple's.
			fPurpleSeen = fPurpleSeen || shown == kPurple;
			if ((shown >> 16) <= (kPurple >> 16) && ((shown >> 8) & 0xff) <= 0x42)
				return "";
			return Describe(x, y, shown, "in the text area");
		}
		const uint32_t expected = inLogo ? fLogo.At(x - 412, y - 284) & 0xffffff : kBlack;
		if (shown == expected)
			return "";
		std::ostringstream wanted;
		wanted << "for " << std::hex << expected;
		return Describe(x, y, shown, wanted.str());
	}

	// Empty when some pixel looked at showed the text's purple.
	std::string WhereNotOverall() const { return fPurpleSeen ? "" : "no purple text"; }

private:
	static std::string Describe(int32_t x, int32_t y, uint32_t shown, const std::string& what)
	{
		std::ostringstream where;
		where << "(" << x << ", " << y << ") is " << std::hex << shown << " " << what;
		return where.str();
	}

	static const uint32_t kBlack = 0x000000;
	static const uint32_t kPurple = 0x8442ff;

	const ImageFiles::Image& fLogo;
	bool fPurpleSeen = false;
};

} // namespace VelmoTest
