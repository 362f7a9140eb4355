#pragma once

#include "interface/Display.h"

class BWindow;

namespace BPrivate {

// What the display sees of a BWindow: its frame, title, framebuffer and keyboard. Lives as long
// as the window. Called from the display's thread.
class WindowClient : public DisplayClient
{
public:
	explicit WindowClient(BWindow& window) : fWindow(window) {}

	BRect DisplayFrame() const override;
	const char* DisplayTitle() const override;
	Framebuffer& DisplayFramebuffer() override;
	void DisplayKeyDown(const char* bytes, int32 numBytes) override;
	void DisplayShown() override;

private:
	BWindow& fWindow;
};

// The window's backing store, for the platform's own code and tests.
Framebuffer& FramebufferOf(BWindow& window);

} // namespace BPrivate
