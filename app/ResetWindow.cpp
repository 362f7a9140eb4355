#include "ResetWindow.h"

#include <InterfaceDefs.h>

#include "ResetView.h"

ResetWindow::ResetWindow(BRect frame)
	:
	BWindow(frame, "", B_BORDERED_WINDOW, 0, B_ALL_WORKSPACES)
{
	view = new ResetView(Bounds());
	AddChild(view);
	view->MakeFocus(true);
	Show();
}

ResetWindow::~ResetWindow()
{
}
