// The reset view's painting, pixel by pixel, in a window of this process that is never shown: the
// test calls the hooks itself, as the window's thread would, with the window locked.

#include <stdlib.h>

#include <gtest/gtest.h>

#include <Application.h>
#include <InterfaceDefs.h>
#include <Window.h>

#include "MessageLines.h"
#include "ResetView.h"
#include "VelmoReset.h"
#include "interface/Framebuffer.h"
#include "interface/WindowClient.h"
#include "support/ImageFiles.h"
#include "support/TempDirectory.h"

using namespace VelmoTest;

namespace {

const BRect kTextArea(320, 559, 704, 654);
const uint32 kBlack = 0xff000000;
const uint32 kPurple = 0xff8442ff;

uint32
Pixel(const BPrivate::Framebuffer& framebuffer, int32 x, int32 y)
{
	rgb_color color = framebuffer.PixelAt(x, y);
	return (uint32)color.alpha << 24 | (uint32)color.red << 16 | (uint32)color.green << 8
		| color.blue;
}

class ResetViewTest : public testing::Test {
protected:
	void SetUp() override
	{
		setenv("BEOS_ROOT", fRoot.Path().c_str(), 1);
		setenv("BEOS_DISPLAY", "headless", 1);
		fApplication = new BApplication("application/x-vnd.velmo-view-test");
	}

	void TearDown() override
	{
		if (fWindow != NULL) {
			fWindow->Lock();
			fWindow->Quit();
		}
		delete fApplication;
	}

	void MakeView()
	{
		fWindow = new BWindow(BRect(0, 0, 1023, 767), "", B_BORDERED_WINDOW, 0,
			B_ALL_WORKSPACES);
		fView = new ResetView(fWindow->Bounds());
		fWindow->AddChild(fView);
	}

	void WriteLogo(const ImageFiles::Image& logo)
	{
		ASSERT_TRUE(ImageFiles::WriteBmp(fRoot.LogoPath(), logo, 24));
	}

	// One pulse, as the window's thread gives it; returns the damage it left.
	BRect Pulse()
	{
		Framebuffer().TakeDamage(NULL);
		fWindow->Lock();
		fView->Pulse();
		fWindow->Unlock();
		BRect damage;
		if (!Framebuffer().TakeDamage(&damage))
			return BRect();
		return damage;
	}

	BPrivate::Framebuffer& Framebuffer() { return BPrivate::FramebufferOf(*fWindow); }

	bool TextAreaHas(uint32 color)
	{
		for (int32 y = 559; y <= 654; y++) {
			for (int32 x = 320; x <= 704; x++) {
				if (Pixel(Framebuffer(), x, y) == color)
					return true;
			}
		}
		return false;
	}

	PlatformRootDirectory fRoot;
	BApplication* fApplication = NULL;
	BWindow* fWindow = NULL;
	ResetView* fView = NULL;
};

TEST_F(ResetViewTest, DrawsTheLogoOnceAtItsPlaceAtItsSize)
{
	ImageFiles::Image logo = ImageFiles::Pattern(120, 90);
	WriteLogo(logo);
	M_ShowMessage("", "");
	MakeView();

	BRect damage = Pulse();
	EXPECT_EQ(damage, BRect(412, 284, 531, 373));
	for (int32 y = 0; y < logo.height; y++) {
		for (int32 x = 0; x < logo.width; x++)
			ASSERT_EQ(Pixel(Framebuffer(), 412 + x, 284 + y), logo.At(x, y) | 0xff000000u)
				<< "at " << x << ", " << y;
	}
	EXPECT_EQ(Pixel(Framebuffer(), 411, 284), kBlack);
	EXPECT_EQ(Pixel(Framebuffer(), 412, 283), kBlack);
	EXPECT_EQ(Pixel(Framebuffer(), 532, 373), kBlack);
	EXPECT_EQ(Pixel(Framebuffer(), 531, 374), kBlack);

	// Never again, whatever else is painted.
	EXPECT_FALSE(Pulse().IsValid());
	M_ShowMessage("Remove floppy   ", "Insert CD, ENTER");
	EXPECT_FALSE(Pulse().Intersects(BRect(412, 284, 531, 373)));
}

TEST_F(ResetViewTest, WithBothLinesEmptyNothingIsPaintedInTheTextArea)
{
	M_ShowMessage("", "");
	MakeView();
	EXPECT_FALSE(Pulse().IsValid());
	EXPECT_FALSE(Pulse().IsValid());
	EXPECT_FALSE(TextAreaHas(kPurple));
}

TEST_F(ResetViewTest, NewLinesArePaintedInPurpleInsideTheTextAreaOnly)
{
	M_ShowMessage("", "");
	MakeView();
	Pulse();

	M_ShowMessage("Remove floppy   ", "Insert CD, ENTER");
	BRect damage = Pulse();
	EXPECT_EQ(damage, kTextArea);
	EXPECT_TRUE(TextAreaHas(kPurple));
	for (int32 y = 0; y < 768; y += 3) {
		for (int32 x = 0; x < 1024; x += 3) {
			if (!kTextArea.Contains(BPoint(x, y))) {
				ASSERT_EQ(Pixel(Framebuffer(), x, y), kBlack) << "at " << x << ", " << y;
			}
		}
	}
}

TEST_F(ResetViewTest, ChangingOnlyLineTwoRepaintsBothLines)
{
	M_ShowMessage("Remove floppy   ", "Insert CD, ENTER");
	MakeView();
	Pulse();

	// Line 1 as painted on its own, and both lines after a change of line 2 alone.
	M_ShowMessage("Remove floppy   ", "  please wait   ");
	BRect damage = Pulse();
	EXPECT_EQ(damage, kTextArea);
	bool line1Painted = false;
	for (int32 y = 559; y <= 604 && !line1Painted; y++) {
		for (int32 x = 320; x <= 704; x++) {
			if (Pixel(Framebuffer(), x, y) == kPurple) {
				line1Painted = true;
				break;
			}
		}
	}
	EXPECT_TRUE(line1Painted);
}

TEST_F(ResetViewTest, ASecondPulseWithUnchangedLinesPaintsNothing)
{
	M_ShowMessage("Rebooting VELMO ", "  please wait   ");
	MakeView();
	EXPECT_TRUE(Pulse().IsValid());
	EXPECT_FALSE(Pulse().IsValid());
	EXPECT_FALSE(Pulse().IsValid());
}

TEST_F(ResetViewTest, AnUnreadableLogoGivesNoLogoAndNoFailure)
{
	const std::vector<std::vector<uint8>> files = {
		{},                                  // empty
		{'B', 'M', 0x36, 0x00},              // truncated header
		{0x13, 0x37, 0xde, 0xad, 0xbe, 0xef}, // garbage
	};
	for (const std::vector<uint8>& bytes : files) {
		ASSERT_TRUE(ImageFiles::WriteBytes(fRoot.LogoPath(), bytes));
		M_ShowMessage("", "");
		MakeView();
		EXPECT_FALSE(Pulse().IsValid());
		fWindow->Lock();
		fWindow->Quit();
		fWindow = NULL;
	}
}

TEST_F(ResetViewTest, AKeyOfSeveralBytesIsQueuedAsItsFirstByteSignExtended)
{
	MakeView();
	keyQueue = create_port(16, "KeyQueue");
	fWindow->Lock();
	fView->KeyDown("\xc3\xa9", 2);
	fView->KeyDown("\n", 1);
	fWindow->Unlock();

	int32 code;
	EXPECT_EQ(read_port_etc(keyQueue, &code, NULL, 0, B_RELATIVE_TIMEOUT, 0), 0);
	EXPECT_EQ(code, (int32)(int8)0xc3);
	EXPECT_EQ(read_port_etc(keyQueue, &code, NULL, 0, B_RELATIVE_TIMEOUT, 0), 0);
	EXPECT_EQ(code, 10);
	EXPECT_EQ(read_port_etc(keyQueue, &code, NULL, 0, B_RELATIVE_TIMEOUT, 0), B_TIMED_OUT);
	delete_port(keyQueue);
	keyQueue = -1;
}

} // namespace
