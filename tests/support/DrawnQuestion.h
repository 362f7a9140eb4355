#pragma once

#include <string>

#include "support/ImageFiles.h"

namespace VelmoTest {

// The reset view's text area, inclusive, in the frame's coordinates.
inline constexpr int32 kTextAreaLeft = 320;
inline constexpr int32 kTextAreaTop = 559;
inline constexpr int32 kTextAreaRight = 704;
inline constexpr int32 kTextAreaBottom = 654;

// The text area as the reset view draws `line1` and `line2`, drawn here by the headless display
// into a window of this process that is never shown (0xRRGGBB): what any screen showing those
// lines must show there. Call it from the test's thread with no BApplication of its own.
ImageFiles::Image DrawnTextArea(const std::string& line1, const std::string& line2);

} // namespace VelmoTest
