#pragma once

// What ScreenBench watches from outside the program: the text area's pixels on the X server, and
// the window thread's wakes. Header only.

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
// Xlib's macros would rename the fixtures' Status() and Misbehaviour::None.
#undef None
#undef Status

#include "ScreenShared.h"

namespace ScreenBench {

// Xlib's default handler ends the process on any error; a failed read is an empty image here.
inline int IgnoreXError(Display*, XErrorEvent*)
{
	return 0;
}

// Reads the text area off the X server's root window (XGetImage: about a millisecond).
class TextAreaReader
{
public:
	explicit TextAreaReader(const std::string& displayName)
	    : fDisplay(XOpenDisplay(displayName.c_str()))
	{
		XSetErrorHandler(IgnoreXError);
	}
	~TextAreaReader()
	{
		if (fDisplay != nullptr)
			XCloseDisplay(fDisplay);
	}
	TextAreaReader(const TextAreaReader&) = delete;
	TextAreaReader& operator=(const TextAreaReader&) = delete;

	bool IsOpen() const { return fDisplay != nullptr; }

	// The area's pixels as 0xRRGGBB; empty when the server did not give them.
	std::vector<uint32_t> Read()
	{
		std::vector<uint32_t> pixels;
		XImage* image = XGetImage(fDisplay, DefaultRootWindow(fDisplay), kTextLeft, kTextTop,
		                          kTextWidth, kTextHeight, AllPlanes, ZPixmap);
		if (image == nullptr)
			return pixels;
		pixels.reserve(kTextWidth * kTextHeight);
		for (int y = 0; y < kTextHeight; y++) {
			for (int x = 0; x < kTextWidth; x++)
				pixels.push_back(XGetPixel(image, x, y) & 0xffffff);
		}
		XDestroyImage(image);
		return pixels;
	}

private:
	Display* fDisplay;
};

// Whether the lower line of the text area shows text.
inline bool ShowsSecondLine(const std::vector<uint32_t>& pixels)
{
	if (pixels.size() != size_t(kTextWidth * kTextHeight))
		return false;
	const int from = (610 - kTextTop) * kTextWidth;
	return std::find(pixels.begin() + from, pixels.end(), kPurple) != pixels.end();
}

// Watches when the program's window thread ("w>...") starts to run, from its schedstat run count
// read every 200 us: while the question is shown it wakes for nothing but the pulse, so the last
// wake before the announcement's pixels is the pulse that drew it. What follows it is the cost
// of drawing and showing; what comes before is the wait for the pulse, a matter of chance.
class PulseWatch
{
public:
	explicit PulseWatch(pid_t pid)
	{
		const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
		DIR* directory = opendir(tasks.c_str());
		if (directory == nullptr)
			return;
		while (const dirent* entry = readdir(directory)) {
			if (entry->d_name[0] == '.')
				continue;
			const std::string task = tasks + "/" + entry->d_name;
			char name[32] = {};
			const int file = open((task + "/comm").c_str(), O_RDONLY | O_CLOEXEC);
			if (file < 0)
				continue;
			(void)!read(file, name, sizeof(name) - 1);
			close(file);
			if (strncmp(name, "w>", 2) == 0)
				fSchedstat = task + "/schedstat";
		}
		closedir(directory);
		if (!fSchedstat.empty())
			fThread = std::thread([this] { Watch(); });
	}
	~PulseWatch() { Stop(); }
	PulseWatch(const PulseWatch&) = delete;
	PulseWatch& operator=(const PulseWatch&) = delete;

	void Stop()
	{
		fStopping = true;
		if (fThread.joinable())
			fThread.join();
	}

	// After Stop: the first wake seen of the last run of wakes before `moment` (a pulse's work
	// may sleep and wake again within a few milliseconds); false if none was seen.
	bool PulseBefore(Clock::time_point moment, Clock::time_point* pulse) const
	{
		bool found = false;
		for (size_t index = 0; index < fWakes.size() && fWakes[index] <= moment; index++) {
			if (index == 0 || fWakes[index] - fWakes[index - 1] > 10ms) {
				*pulse = fWakes[index];
				found = true;
			}
		}
		return found;
	}

private:
	// The run count: schedstat's third field; 0 when unreadable.
	uint64_t RunCount() const
	{
		char text[128] = {};
		const int file = open(fSchedstat.c_str(), O_RDONLY | O_CLOEXEC);
		if (file < 0)
			return 0;
		(void)!read(file, text, sizeof(text) - 1);
		close(file);
		unsigned long long running = 0, waiting = 0, runs = 0;
		return sscanf(text, "%llu %llu %llu", &running, &waiting, &runs) == 3 ? runs : 0;
	}

	void Watch()
	{
		uint64_t last = RunCount();
		while (!fStopping) {
			std::this_thread::sleep_for(std::chrono::microseconds(int(kPulseSampleMs * 1000)));
			const uint64_t now = RunCount();
			if (now != last)
				fWakes.push_back(Clock::now());
			last = now;
		}
	}

	std::string fSchedstat;
	std::atomic<bool> fStopping{false};
	std::vector<Clock::time_point> fWakes; // the watching thread's until Stop
	std::thread fThread;
};

} // namespace ScreenBench
