#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "interface/Display.h"
#include "interface/Framebuffer.h"

// A window as a display sees it: a frame, a title, a real framebuffer, and a record of the keys
// it was given. Any thread.
class FakeDisplayClient : public BPrivate::DisplayClient
{
public:
	FakeDisplayClient(BRect frame, const char* title)
	    : fFrame(frame), fTitle(title),
	      fFramebuffer(frame.IntegerWidth() + 1, frame.IntegerHeight() + 1)
	{
	}

	BRect DisplayFrame() const override { return fFrame; }
	const char* DisplayTitle() const override { return fTitle.c_str(); }
	BPrivate::Framebuffer& DisplayFramebuffer() override { return fFramebuffer; }
	void DisplayKeyDown(const char* bytes, int32 numBytes) override
	{
		std::lock_guard<std::mutex> guard(fLock);
		fKeys.emplace_back(bytes, size_t(numBytes));
	}

	BPrivate::Framebuffer& Framebuffer() { return fFramebuffer; }
	std::vector<std::string> Keys() const
	{
		std::lock_guard<std::mutex> guard(fLock);
		return fKeys;
	}
	void ClearKeys()
	{
		std::lock_guard<std::mutex> guard(fLock);
		fKeys.clear();
	}

private:
	const BRect fFrame;
	const std::string fTitle;
	BPrivate::Framebuffer fFramebuffer;
	mutable std::mutex fLock;
	std::vector<std::string> fKeys;
};
