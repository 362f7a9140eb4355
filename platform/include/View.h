#pragma once

#include <string>
#include <vector>

#include <Font.h>
#include <GraphicsDefs.h>
#include <Handler.h>
#include <InterfaceDefs.h>
#include <Point.h>
#include <Rect.h>

class BBitmap;
class BWindow;

// A rectangle of a window that draws itself and hears the keyboard when it has the focus.
// Drawing goes into the window's backing store, in view coordinates (the view's top-left corner
// is (0, 0)), clipped to the view's frame; a view in no window draws nothing.
//
// Threads: the window's thread, or any thread that holds the window's lock.
class BView : public BHandler
{
public:
	BView(BRect frame, const char* name, uint32 resizingMode, uint32 flags);
	virtual ~BView();

	// Hooks, called on the window's thread with the window locked.
	virtual void AttachedToWindow();
	virtual void DetachedFromWindow();
	// Only for views with B_WILL_DRAW.
	virtual void Draw(BRect updateRect);
	// One character (1 to 4 bytes of UTF-8, not NUL-terminated) or one key byte. Default: passes
	// it to the parent view, if any.
	virtual void KeyDown(const char* bytes, int32 numBytes);
	// Only for views with B_PULSE_NEEDED, at the window's pulse rate.
	virtual void Pulse();
	virtual void MessageReceived(BMessage* message);
	virtual void MakeFocus(bool focus = true);
	bool IsFocus() const;

	BWindow* Window() const { return fWindow; }
	BView* Parent() const { return fParent; }
	// The view owns a child once added and deletes it when destroyed.
	void AddChild(BView* child, BView* before = NULL);
	bool RemoveChild(BView* child);
	bool RemoveSelf();
	int32 CountChildren() const { return (int32)fChildren.size(); }
	BView* ChildAt(int32 index) const;

	// Bounds() is (0, 0, width - 1, height - 1); Frame() is in the parent's coordinates.
	BRect Bounds() const;
	BRect Frame() const { return fFrame; }
	uint32 Flags() const { return fFlags; }
	void SetFlags(uint32 flags) { fFlags = flags; }
	uint32 ResizingMode() const { return fResizingMode; }

	void SetViewColor(rgb_color color) { fViewColor = color; }
	void SetViewColor(uint8 r, uint8 g, uint8 b, uint8 a = 255);
	rgb_color ViewColor() const { return fViewColor; }
	void SetHighColor(rgb_color color) { fHighColor = color; }
	void SetHighColor(uint8 r, uint8 g, uint8 b, uint8 a = 255);
	rgb_color HighColor() const { return fHighColor; }
	void SetLowColor(rgb_color color) { fLowColor = color; }
	void SetLowColor(uint8 r, uint8 g, uint8 b, uint8 a = 255);
	rgb_color LowColor() const { return fLowColor; }

	// Takes over the properties `mask` names (family and style, size; the others are not
	// modelled).
	void SetFont(const BFont* font, uint32 mask = B_FONT_ALL);
	void GetFont(BFont* font) const;

	void MovePenTo(BPoint point) { fPenLocation = point; }
	void MovePenTo(float x, float y) { fPenLocation = BPoint(x, y); }
	void MovePenBy(float x, float y) { fPenLocation += BPoint(x, y); }
	BPoint PenLocation() const { return fPenLocation; }

	// B_SOLID_HIGH fills with the high colour, B_SOLID_LOW with the low colour, any other
	// pattern with the high colour.
	void FillRect(BRect rect, ::pattern fill = B_SOLID_HIGH);
	// Top-left corner at `where`, 1:1; NULL is ignored.
	void DrawBitmap(const BBitmap* bitmap, BPoint where);
	void DrawBitmap(const BBitmap* bitmap);
	// From the left end of the baseline; the pen ends after the text.
	void DrawString(const char* string, BPoint where);
	void DrawString(const char* string, int32 length, BPoint where);
	void DrawString(const char* string);
	void DrawString(const char* string, int32 length);

	// Asks the window to paint the view again (view colour, then Draw) on its thread.
	void Invalidate();
	void Invalidate(BRect rect);
	void Sync() const {}
	void Flush() const {}

private:
	friend class BWindow;

	void AttachTo(BWindow* window);
	void DetachFromWindow();
	// The frame in window coordinates and the clip for drawing (the frame, cut by the
	// ancestors' frames).
	BPoint WindowOrigin() const;
	BRect WindowClip() const;
	void PaintTree();
	void PulseTree();
	bool AnyNeedsPulse() const;

	BRect fFrame;
	uint32 fResizingMode;
	uint32 fFlags;
	BWindow* fWindow;
	BView* fParent;
	std::vector<BView*> fChildren;
	rgb_color fViewColor;
	rgb_color fHighColor;
	rgb_color fLowColor;
	BFont fFont;
	BPoint fPenLocation;
};
