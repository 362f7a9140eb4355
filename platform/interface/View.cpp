#include <View.h>

#include <string.h>

#include <Bitmap.h>
#include <Message.h>
#include <Window.h>

#include "interface/Framebuffer.h"

namespace {

const uint32 kUpdate = 0x5f555044; // '_UPD', see Window.cpp

const rgb_color kBlack = {0, 0, 0, 255};
const rgb_color kWhite = {255, 255, 255, 255};

} // namespace

BView::BView(BRect frame, const char* name, uint32 resizingMode, uint32 flags)
    : BHandler(name), fFrame(frame), fResizingMode(resizingMode), fFlags(flags), fWindow(NULL),
      fParent(NULL), fViewColor(kWhite), fHighColor(kBlack), fLowColor(kWhite)
{
}

BView::~BView()
{
	RemoveSelf();
	while (!fChildren.empty()) {
		BView* child = fChildren.back();
		fChildren.pop_back();
		child->fParent = NULL;
		delete child;
	}
}

void BView::AttachedToWindow() {}

void BView::DetachedFromWindow() {}

void BView::Draw(BRect /*updateRect*/) {}

void BView::KeyDown(const char* bytes, int32 numBytes)
{
	if (fParent != NULL)
		fParent->KeyDown(bytes, numBytes);
}

void BView::Pulse() {}

void BView::MessageReceived(BMessage* message)
{
	BHandler::MessageReceived(message);
}

void BView::MakeFocus(bool focus)
{
	if (fWindow == NULL)
		return;
	if (focus)
		fWindow->SetFocus(this);
	else if (IsFocus())
		fWindow->SetFocus(NULL);
}

bool BView::IsFocus() const
{
	return fWindow != NULL && fWindow->CurrentFocus() == this;
}

void BView::AddChild(BView* child, BView* before)
{
	if (child == NULL || child == this || child->fParent != NULL || child->fWindow != NULL)
		return;
	auto position = fChildren.end();
	for (auto found = fChildren.begin(); found != fChildren.end(); ++found) {
		if (*found == before)
			position = found;
	}
	fChildren.insert(position, child);
	child->fParent = this;
	if (fWindow != NULL) {
		child->AttachTo(fWindow);
		if (!fWindow->IsHidden())
			child->Invalidate();
	}
}

bool BView::RemoveChild(BView* child)
{
	for (auto found = fChildren.begin(); found != fChildren.end(); ++found) {
		if (*found == child) {
			fChildren.erase(found);
			if (child->fWindow != NULL)
				child->DetachFromWindow();
			child->fParent = NULL;
			return true;
		}
	}
	return false;
}

bool BView::RemoveSelf()
{
	if (fParent != NULL)
		return fParent->RemoveChild(this);
	if (fWindow != NULL)
		return fWindow->RemoveChild(this);
	return false;
}

BView* BView::ChildAt(int32 index) const
{
	if (index < 0 || index >= (int32)fChildren.size())
		return NULL;
	return fChildren[index];
}

BRect BView::Bounds() const
{
	return BRect(0, 0, fFrame.Width(), fFrame.Height());
}

void BView::SetViewColor(uint8 r, uint8 g, uint8 b, uint8 a)
{
	SetViewColor(rgb_color{r, g, b, a});
}

void BView::SetHighColor(uint8 r, uint8 g, uint8 b, uint8 a)
{
	SetHighColor(rgb_color{r, g, b, a});
}

void BView::SetLowColor(uint8 r, uint8 g, uint8 b, uint8 a)
{
	SetLowColor(rgb_color{r, g, b, a});
}

void BView::SetFont(const BFont* font, uint32 mask)
{
	if (font == NULL)
		return;
	if ((mask & B_FONT_ALL) == B_FONT_ALL) {
		fFont = *font;
		return;
	}
	if ((mask & B_FONT_FAMILY_AND_STYLE) != 0) {
		font_family family;
		font_style style;
		font->GetFamilyAndStyle(&family, &style);
		fFont.SetFamilyAndStyle(family, style);
	}
	if ((mask & B_FONT_SIZE) != 0)
		fFont.SetSize(font->Size());
}

void BView::GetFont(BFont* font) const
{
	if (font != NULL)
		*font = fFont;
}

void BView::FillRect(BRect rect, ::pattern fill)
{
	if (fWindow == NULL)
		return;
	const bool low = memcmp(fill.data, B_SOLID_LOW.data, sizeof(fill.data)) == 0;
	const BPoint origin = WindowOrigin();
	fWindow->Framebuffer().FillRect(rect.OffsetByCopy(origin.x, origin.y),
	                                low ? fLowColor : fHighColor, WindowClip());
	fWindow->NoteDrawing();
}

void BView::DrawBitmap(const BBitmap* bitmap, BPoint where)
{
	if (fWindow == NULL || bitmap == NULL)
		return;
	fWindow->Framebuffer().DrawBitmap(*bitmap, where + WindowOrigin(), WindowClip());
	fWindow->NoteDrawing();
}

void BView::DrawBitmap(const BBitmap* bitmap)
{
	DrawBitmap(bitmap, fPenLocation);
}

void BView::DrawString(const char* string, BPoint where)
{
	if (string != NULL)
		DrawString(string, (int32)strlen(string), where);
}

void BView::DrawString(const char* string, int32 length, BPoint where)
{
	if (fWindow == NULL || string == NULL || length <= 0) {
		fPenLocation = where;
		return;
	}
	const int32 available = (int32)strnlen(string, length);
	const BPoint origin = WindowOrigin();
	BPoint end = fWindow->Framebuffer().DrawString(fFont, string, available, where + origin,
	                                               fHighColor, WindowClip());
	fPenLocation = end - origin;
	fWindow->NoteText(string, available);
	fWindow->NoteDrawing();
}

void BView::DrawString(const char* string)
{
	DrawString(string, fPenLocation);
}

void BView::DrawString(const char* string, int32 length)
{
	DrawString(string, length, fPenLocation);
}

void BView::Invalidate()
{
	if (fWindow == NULL)
		return;
	BMessage update(kUpdate);
	fWindow->PostMessage(&update, this);
}

void BView::Invalidate(BRect /*rect*/)
{
	Invalidate();
}

void BView::AttachTo(BWindow* window)
{
	fWindow = window;
	window->AddHandler(this);
	SetNextHandler(fParent != NULL ? static_cast<BHandler*>(fParent) : window);
	AttachedToWindow();
	for (BView* child : fChildren)
		child->AttachTo(window);
}

void BView::DetachFromWindow()
{
	for (BView* child : fChildren)
		child->DetachFromWindow();
	DetachedFromWindow();
	fWindow->ViewDetached(this);
	fWindow->RemoveHandler(this);
	SetNextHandler(NULL);
	fWindow = NULL;
}

BPoint BView::WindowOrigin() const
{
	BPoint origin = fFrame.LeftTop();
	for (const BView* parent = fParent; parent != NULL; parent = parent->fParent)
		origin += parent->fFrame.LeftTop();
	return origin;
}

BRect BView::WindowClip() const
{
	BPoint origin = WindowOrigin();
	BRect clip = Bounds().OffsetByCopy(origin.x, origin.y);
	if (fParent != NULL)
		clip = clip & fParent->WindowClip();
	if (fWindow != NULL)
		clip = clip & fWindow->Bounds();
	return clip;
}

void BView::PaintTree()
{
	if (fWindow == NULL)
		return;
	// What the server does before Draw: the view's area in its view colour.
	fWindow->Framebuffer().FillRect(WindowClip(), fViewColor, WindowClip());
	fWindow->NoteDrawing();
	if ((fFlags & B_WILL_DRAW) != 0)
		Draw(Bounds());
	// A copy: a hook may add or remove children meanwhile.
	const std::vector<BView*> children = fChildren;
	for (BView* child : children)
		child->PaintTree();
}

void BView::PulseTree()
{
	if ((fFlags & B_PULSE_NEEDED) != 0)
		Pulse();
	const std::vector<BView*> children = fChildren;
	for (BView* child : children)
		child->PulseTree();
}

bool BView::AnyNeedsPulse() const
{
	if ((fFlags & B_PULSE_NEEDED) != 0)
		return true;
	for (const BView* child : fChildren) {
		if (child->AnyNeedsPulse())
			return true;
	}
	return false;
}
