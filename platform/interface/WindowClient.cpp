#include "interface/WindowClient.h"

#include <Window.h>

#include "app/ServiceNotifier.h"
#include "interface/Framebuffer.h"

namespace BPrivate {

BRect WindowClient::DisplayFrame() const
{
	return fWindow.Frame();
}

const char* WindowClient::DisplayTitle() const
{
	return fWindow.Title();
}

Framebuffer& WindowClient::DisplayFramebuffer()
{
	return fWindow.Framebuffer();
}

void WindowClient::DisplayKeyDown(const char* bytes, int32 numBytes)
{
	fWindow.PostKeyDown(bytes, numBytes);
}

void WindowClient::DisplayShown()
{
	ServiceNotifier::Default().WindowShown();
}

Framebuffer& FramebufferOf(BWindow& window)
{
	return WindowClient(window).DisplayFramebuffer();
}

} // namespace BPrivate
