#pragma once

#include <Window.h>

class ResetView;

// The screen-filling window; it builds its one view and shows itself.
class ResetWindow : public BWindow {
public:
	ResetWindow(BRect frame);
	virtual ~ResetWindow();

private:
	ResetView* view; // a child of the window, which deletes it
};
