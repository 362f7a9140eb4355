// What the real program paints on a headless display, read back from the framebuffer snapshots
// the platform writes (BEOS_FRAMEBUFFER_PNG), and what it does with a bad logo file.

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "support/ImageFiles.h"
#include "support/HeadlessProgram.h"
#include "support/ProgramRun.h"
#include "support/TempDirectory.h"

using namespace VelmoTest;
using namespace std::chrono_literals;

namespace {

const uint32 kBlack = 0xff000000;
const uint32 kPurple = 0xff8442ff;

// Headless, with the framebuffer saved as root/screen.png at every change.
ProgramRun::Options
SnapshotOptions(const PlatformRootDirectory& root)
{
	ProgramRun::Options options = HeadlessOptions(root);
	options.environment["BEOS_FRAMEBUFFER_PNG"] = root.Join("screen.png");
	return options;
}

bool
InTextArea(int32 x, int32 y)
{
	return x >= 320 && x <= 704 && y >= 559 && y <= 654;
}

// Waits until the snapshot shows the given line 2 has been painted: some purple in the lower
// half of the text area. False after a generous deadline.
bool
WaitForSnapshot(const std::string& path, ImageFiles::Image* image)
{
	const Clock::time_point deadline = Clock::now() + 20s;
	while (Clock::now() < deadline) {
		*image = ImageFiles::Load(path);
		if (image->width == 1024) {
			for (int32 y = 610; y <= 654; y++) {
				for (int32 x = 320; x <= 704; x++) {
					if (image->At(x, y) == kPurple)
						return true;
				}
			}
		}
		std::this_thread::sleep_for(20ms);
	}
	return false;
}

void
RunToTheEnd(ProgramRun& program)
{
	ASSERT_TRUE(program.WaitForLine("Insert CD, ENTER", 20s)) << program.Output();
	program.Type("\r");
	ASSERT_TRUE(program.WaitForExit(20s)) << program.Output();
	EXPECT_EQ(program.ExitCode(), 0);
	EXPECT_TRUE(program.WaitForLine("Reset with mode = 0", 0ms));
}

} // namespace

TEST(HeadlessScreen, ShowsTheLogoAndThePurpleQuestionOnBlack)
{
	PlatformRootDirectory root;
	ImageFiles::Image logo = ImageFiles::Pattern(200, 150);
	ASSERT_TRUE(ImageFiles::WriteBmp(root.LogoPath(), logo, 24));
	ProgramRun program(VelmoResetPath(), SnapshotOptions(root));

	ImageFiles::Image screen;
	ASSERT_TRUE(WaitForSnapshot(root.Join("screen.png"), &screen)) << program.Output();
	ASSERT_EQ(screen.height, 768);
	for (int32 y = 0; y < 768; y++) {
		for (int32 x = 0; x < 1024; x++) {
			bool inLogo = x >= 412 && x < 412 + 200 && y >= 284 && y < 284 + 150;
			if (inLogo) {
				ASSERT_EQ(screen.At(x, y), logo.At(x - 412, y - 284) | 0xff000000u)
					<< "logo at " << x << ", " << y;
			} else if (!InTextArea(x, y)) {
				ASSERT_EQ(screen.At(x, y), kBlack) << "outside at " << x << ", " << y;
			}
		}
	}
	RunToTheEnd(program);
}

class BadLogo : public testing::TestWithParam<std::vector<uint8>> {};

TEST_P(BadLogo, GivesNoLogoAndTheResetStillWorks)
{
	PlatformRootDirectory root;
	ASSERT_TRUE(ImageFiles::WriteBytes(root.LogoPath(), GetParam()));
	ProgramRun program(VelmoResetPath(), SnapshotOptions(root));

	ImageFiles::Image screen;
	ASSERT_TRUE(WaitForSnapshot(root.Join("screen.png"), &screen)) << program.Output();
	for (int32 y = 284; y < 559; y++) {
		for (int32 x = 0; x < 1024; x++)
			ASSERT_EQ(screen.At(x, y), kBlack) << "at " << x << ", " << y;
	}
	RunToTheEnd(program);
}

namespace {

std::vector<uint8>
LyingBmpHeader()
{
	// A valid 24-bit BMP header that claims 60000 x 60000 pixels, followed by a few bytes.
	std::vector<uint8> bytes = {'B', 'M', 0x36, 0, 0, 0, 0, 0, 0, 0, 0x36, 0, 0, 0, 40, 0, 0, 0,
		0x60, 0xea, 0, 0, 0x60, 0xea, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x13, 0x0b, 0, 0,
		0x13, 0x0b, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
	bytes.insert(bytes.end(), 64, 0x55);
	return bytes;
}

std::vector<uint8>
TruncatedBmp()
{
	std::vector<uint8> bytes = LyingBmpHeader();
	bytes[18] = 64; // 64 x 64, but only a few bytes of pixels
	bytes[19] = 0;
	bytes[22] = 64;
	bytes[23] = 0;
	return bytes;
}

} // namespace

INSTANTIATE_TEST_SUITE_P(HeadlessScreen, BadLogo,
	testing::Values(std::vector<uint8>{}, TruncatedBmp(), LyingBmpHeader(),
		std::vector<uint8>(4096, 0xa5)));

TEST(HeadlessScreen, AMissingLogoGivesNoLogoAndTheResetStillWorks)
{
	PlatformRootDirectory root;
	ProgramRun program(VelmoResetPath(), SnapshotOptions(root));
	ImageFiles::Image screen;
	ASSERT_TRUE(WaitForSnapshot(root.Join("screen.png"), &screen)) << program.Output();
	EXPECT_EQ(screen.At(412, 284), kBlack);
	RunToTheEnd(program);
}
