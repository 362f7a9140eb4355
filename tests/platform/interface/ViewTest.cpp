#include <View.h>

#include <gtest/gtest.h>

#include <Bitmap.h>
#include <Font.h>
#include <Window.h>

#include "interface/Framebuffer.h"
#include "interface/WindowClient.h"

namespace {

const rgb_color kBlack = {0, 0, 0, 255};
const rgb_color kWhite = {255, 255, 255, 255};
const rgb_color kPurple = {132, 66, 255, 255};
const rgb_color kBlue = {0, 0, 255, 255};

class DeletionView : public BView
{
public:
	DeletionView(BRect frame, bool* deleted)
	    : BView(frame, "deletion", B_FOLLOW_NONE, B_WILL_DRAW), fDeleted(deleted)
	{
	}
	~DeletionView() override { *fDeleted = true; }

private:
	bool* fDeleted;
};

// Views in a window that is never shown: no thread, the test draws with the window locked.
class View : public testing::Test
{
protected:
	void SetUp() override
	{
		fWindow = new BWindow(BRect(0, 0, 199, 149), "view", B_BORDERED_WINDOW, 0);
		fWindow->Lock();
	}
	void TearDown() override { fWindow->Quit(); }

	rgb_color Pixel(int32 x, int32 y) const
	{
		return BPrivate::FramebufferOf(*fWindow).PixelAt(x, y);
	}
	// Whether every pixel of `area` (window coordinates) has `color`.
	bool AreaIs(BRect area, rgb_color color) const
	{
		for (int32 y = (int32)area.top; y <= (int32)area.bottom; y++) {
			for (int32 x = (int32)area.left; x <= (int32)area.right; x++) {
				if (Pixel(x, y) != color)
					return false;
			}
		}
		return true;
	}

	BWindow* fWindow;
};

} // namespace

TEST_F(View, DefaultsAreBeOSs)
{
	BView view(BRect(0, 0, 9, 9), "defaults", B_FOLLOW_NONE, B_WILL_DRAW);
	EXPECT_EQ(kBlack, view.HighColor());
	EXPECT_EQ(kWhite, view.LowColor());
	EXPECT_EQ(kWhite, view.ViewColor());
	EXPECT_EQ(BRect(0, 0, 9, 9), view.Bounds());
	EXPECT_EQ((uint32)B_WILL_DRAW, view.Flags());
	EXPECT_EQ(nullptr, view.Window());
}

TEST_F(View, BoundsStartAtTheOriginWhateverTheFrame)
{
	BView view(BRect(320, 559, 704, 654), "text", B_FOLLOW_NONE, 0);
	EXPECT_EQ(BRect(0, 0, 384, 95), view.Bounds());
	EXPECT_EQ(BRect(320, 559, 704, 654), view.Frame());
}

TEST_F(View, FillRectIsTranslatedByTheFrameAndClippedToIt)
{
	BView* view = new BView(BRect(10, 20, 59, 69), "fill", B_FOLLOW_NONE, B_WILL_DRAW);
	fWindow->AddChild(view);
	EXPECT_EQ(fWindow, view->Window());
	view->SetHighColor(kPurple);
	view->FillRect(BRect(0, 0, 9, 9));
	EXPECT_TRUE(AreaIs(BRect(10, 20, 19, 29), kPurple));
	EXPECT_EQ(kBlack, Pixel(20, 20));
	EXPECT_EQ(kBlack, Pixel(10, 30));

	view->SetHighColor(kBlue);
	view->FillRect(BRect(-100, -100, 500, 500), B_SOLID_HIGH);
	EXPECT_TRUE(AreaIs(BRect(10, 20, 59, 69), kBlue));
	EXPECT_EQ(kBlack, Pixel(9, 20));
	EXPECT_EQ(kBlack, Pixel(10, 19));
	EXPECT_EQ(kBlack, Pixel(60, 69));
	EXPECT_EQ(kBlack, Pixel(59, 70));
}

TEST_F(View, SolidLowFillsWithTheLowColour)
{
	BView* view = new BView(BRect(0, 0, 9, 9), "low", B_FOLLOW_NONE, 0);
	fWindow->AddChild(view);
	view->SetLowColor(kPurple);
	view->SetHighColor(kBlue);
	view->FillRect(view->Bounds(), B_SOLID_LOW);
	EXPECT_TRUE(AreaIs(BRect(0, 0, 9, 9), kPurple));
}

TEST_F(View, ChildViewsAreTranslatedAndClippedByTheirParents)
{
	BView* parent = new BView(BRect(100, 100, 149, 129), "parent", B_FOLLOW_NONE, 0);
	BView* child = new BView(BRect(40, 20, 79, 59), "child", B_FOLLOW_NONE, 0);
	parent->AddChild(child);
	fWindow->AddChild(parent);
	EXPECT_EQ(fWindow, child->Window());
	child->SetHighColor(kPurple);
	child->FillRect(child->Bounds());
	// The child covers (140,120)-(179,159) but its parent ends at (149,129).
	EXPECT_TRUE(AreaIs(BRect(140, 120, 149, 129), kPurple));
	EXPECT_EQ(kBlack, Pixel(150, 120));
	EXPECT_EQ(kBlack, Pixel(140, 130));
	EXPECT_EQ(kBlack, Pixel(139, 120));
}

TEST_F(View, DrawingInAViewOutsideAnyWindowDoesNothing)
{
	BView view(BRect(0, 0, 9, 9), "loose", B_FOLLOW_NONE, B_WILL_DRAW);
	view.SetHighColor(kPurple);
	view.FillRect(view.Bounds());
	view.DrawString("x", BPoint(0, 8));
	view.DrawBitmap(NULL, BPoint(0, 0));
	view.Invalidate();
	EXPECT_EQ(kBlack, Pixel(0, 0));
}

TEST_F(View, DrawBitmapPutsItsTopLeftCornerAtThePoint)
{
	BView* view = new BView(BRect(10, 20, 59, 69), "bitmap", B_FOLLOW_NONE, 0);
	fWindow->AddChild(view);
	BBitmap bitmap(BRect(0, 0, 3, 3), B_RGB32);
	ASSERT_EQ(B_OK, bitmap.InitCheck());
	uint32* bits = static_cast<uint32*>(bitmap.Bits());
	for (int32 i = 0; i < bitmap.BitsLength() / 4; i++)
		bits[i] = 0x00ff0000;
	view->DrawBitmap(&bitmap, BPoint(2, 3));
	const rgb_color red = {255, 0, 0, 255};
	EXPECT_TRUE(AreaIs(BRect(12, 23, 15, 26), red));
	EXPECT_EQ(kBlack, Pixel(11, 23));
	EXPECT_EQ(kBlack, Pixel(16, 26));
	view->DrawBitmap(NULL, BPoint(0, 0));
	EXPECT_EQ(kBlack, Pixel(10, 20));
}

TEST_F(View, DrawStringPaintsInTheViewAndLeavesThePenAfterTheText)
{
	BView* view = new BView(BRect(20, 20, 59, 59), "text", B_FOLLOW_NONE, 0);
	fWindow->AddChild(view);
	BFont font;
	font.SetSize(30);
	view->SetFont(&font);
	view->SetHighColor(kWhite);
	view->DrawString("WWWWWWWW", BPoint(2, 30));
	EXPECT_GT(view->PenLocation().x, 2 + 30);
	EXPECT_EQ(30, view->PenLocation().y);
	// Something was painted inside the view, nothing outside it.
	EXPECT_FALSE(AreaIs(BRect(20, 20, 59, 59), kBlack));
	EXPECT_TRUE(AreaIs(BRect(60, 20, 199, 59), kBlack));

	view->MovePenTo(BPoint(4, 10));
	view->DrawString("ab", 1);
	EXPECT_GT(view->PenLocation().x, 4);
}

TEST_F(View, SetFontTakesTheMaskedPropertiesOnly)
{
	BView* view = new BView(BRect(0, 0, 9, 9), "font", B_FOLLOW_NONE, 0);
	fWindow->AddChild(view);
	BFont before;
	view->GetFont(&before);
	BFont big(be_bold_font);
	big.SetSize(40);
	view->SetFont(&big, B_FONT_SIZE);
	BFont after;
	view->GetFont(&after);
	EXPECT_EQ(40, after.Size());
	font_family family, beforeFamily;
	font_style style, beforeStyle;
	after.GetFamilyAndStyle(&family, &style);
	before.GetFamilyAndStyle(&beforeFamily, &beforeStyle);
	EXPECT_STREQ(beforeFamily, family);
	EXPECT_STREQ(beforeStyle, style);

	view->SetFont(&big, B_FONT_ALL);
	view->GetFont(&after);
	EXPECT_TRUE(after == big);
}

TEST_F(View, RemovedViewsLeaveTheWindowAndLoseTheFocus)
{
	BView* view = new BView(BRect(0, 0, 9, 9), "removed", B_FOLLOW_NONE, 0);
	fWindow->AddChild(view);
	view->MakeFocus(true);
	EXPECT_EQ(view, fWindow->CurrentFocus());
	EXPECT_EQ(1, fWindow->CountChildren());
	EXPECT_TRUE(fWindow->RemoveChild(view));
	EXPECT_EQ(nullptr, view->Window());
	EXPECT_EQ(nullptr, fWindow->CurrentFocus());
	EXPECT_EQ(0, fWindow->CountChildren());
	delete view;
}

TEST_F(View, TheWindowDeletesItsViews)
{
	bool parentDeleted = false;
	bool childDeleted = false;
	BWindow* window = new BWindow(BRect(0, 0, 9, 9), "owner", B_BORDERED_WINDOW, 0);
	BView* parent = new DeletionView(BRect(0, 0, 9, 9), &parentDeleted);
	parent->AddChild(new DeletionView(BRect(0, 0, 4, 4), &childDeleted));
	window->AddChild(parent);
	window->Lock();
	window->Quit();
	EXPECT_TRUE(parentDeleted);
	EXPECT_TRUE(childDeleted);
}
