// The screen side of the real program, measured from outside as the kiosk runs it (the simulated
// remote unit answering on its port): CPU use and resident memory while it asks, headless and in
// an SDL window on a private X server, the CPU beside that of a minimal loop asking on a unit of
// its own over the same seconds (VelmoAskingLoop); how long a change of the message lines takes
// to reach the X server's pixels and the headless framebuffer; keyboard Enter to the
// announcement; and the reset line to the process's exit. Prints one table at the end.
//
// The parts: ScreenShared.h (what they share), ScreenWatchers.h (the X server's pixels, the
// window thread's wakes), ScreenKiosk.h (the programs measured), ScreenAsking.cpp (CPU and
// memory), ScreenLatency.cpp (latencies), ScreenFigures.cpp (the table).

#include <signal.h>
#include <stdio.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "BenchFigures.h"
#include "ScreenShared.h"

using namespace ScreenBench;

int main()
{
	signal(SIGPIPE, SIG_IGN);
	// The frame's own size, and a screen of today's kiosks, which the program owns whole: the
	// same measurements on both in the same run.
	std::vector<XScreen> screens(2);
	screens[0].name = "1024 x 768";
	screens[1].name = "1920 x 1080";
	const char* const sizes[] = {"1024x768x24", "1920x1080x24"};
	for (size_t index = 0; index < screens.size(); index++) {
		Xvfb::Options options;
		options.screens = {sizes[index]};
		std::string error;
		screens[index].server = Xvfb::Start(options, &error);
		if (screens[index].server == nullptr) {
			fprintf(stderr, "ScreenBench: cannot start a private X server of %s: %s\n",
			        screens[index].name.c_str(), error.c_str());
			return 1;
		}
	}
	XScreen& small = screens[0];
	XScreen& large = screens[1];
	const Clock::time_point start = Clock::now();

	MeasureAsking({{"headless", "headless", {{"BEOS_DISPLAY", "headless"}}, kUnsetForHeadless, -1}});
	const std::map<std::string, double> cpu = MeasureAsking(
	    {{"SDL window on Xvfb " + small.name,
	      "x",
	      {{"DISPLAY", small.server->DisplayName()}},
	      kUnsetForX,
	      small.server->Pid()},
	     {"SDL window on Xvfb " + large.name,
	      "x_1080p",
	      {{"DISPLAY", large.server->DisplayName()}},
	      kUnsetForX,
	      large.server->Pid()}});
	const auto cpuOf = [&](const char* key) {
		auto found = cpu.find(key);
		return found == cpu.end() ? NAN : found->second;
	};
	AddRatioRow("CPU while asking, " + large.name + " / " + small.name + " (schedstat)",
	            "screen.cpu_x_1080p_ratio", cpuOf("x_1080p"), cpuOf("x"), 2, " %");

	MeasureXLatency(screens);
	const std::pair<XScreen*, const char*> latencies[] = {{&small, "screen.x_pixels"},
	                                                      {&large, "screen.x_pixels_1080p"}};
	for (const auto& [screen, name] : latencies) {
		AddLatencyRows("Announcement line -> X server's pixels, " + screen->name, screen->pixels,
		               kLatencyRuns, 95, 50, "<= 50 ms");
		if (!screen->pixels.empty()) {
			VelmoBench::RecordFigure(std::string(name) + "_median_ms", Median(screen->pixels));
			VelmoBench::RecordFigure(std::string(name) + "_p95_ms", Quantile(screen->pixels, 0.95));
		}
	}
	AddRatioRow("Announcement line -> X server's pixels, " + large.name + " / " + small.name +
	                ", median",
	            "screen.x_pixels_1080p_median_ratio", Median(large.pixels), Median(small.pixels), 1,
	            " ms", false);
	AddRatioRow("Announcement line -> X server's pixels, " + large.name + " / " + small.name +
	                ", p95",
	            "screen.x_pixels_1080p_p95_ratio", Quantile(large.pixels, 0.95),
	            Quantile(small.pixels, 0.95), 1, " ms", false);
	for (XScreen* screen : {&small, &large}) {
		AddLatencyRows("Window's pulse -> X server's pixels, " + screen->name, screen->drawing,
		               kLatencyRuns, 95, 0, "");
		VelmoBench::RecordFigure(std::string(screen == &small ? "screen.x_pulse_pixels"
		                                                      : "screen.x_pulse_pixels_1080p") +
		                             "_median_ms",
		                         Median(screen->drawing));
		std::string runs;
		for (size_t index = 0; index < screen->pixels.size(); index++)
			runs += " " + Fixed(screen->pixels[index], 1);
		runs += " ms; from the pulse:";
		for (double value : screen->drawing)
			runs += " " + Fixed(value, 2);
		AddNote("Announcement line -> X server's pixels, " + screen->name + ", by run:" +
		                 runs + " ms");
	}
	// The wait for the pulse is chance, the same on either screen: the larger screen's cost is
	// what comes after the pulse, drawing and showing, set against the same on the smaller one.
	AddRatioRow("Window's pulse -> X server's pixels, " + large.name + " / " + small.name +
	                ", median",
	            "screen.x_pulse_pixels_1080p_ratio", Median(large.drawing), Median(small.drawing), 2,
	            " ms", true, kPulseSampleMs);
	std::vector<double> unitKey = small.unitKey;
	unitKey.insert(unitKey.end(), large.unitKey.begin(), large.unitKey.end());

	std::vector<double> snapshotBegun;
	std::vector<double> snapshotDone;
	std::vector<double> key;
	std::vector<double> resetToExit;
	MeasureHeadless(&snapshotBegun, &snapshotDone, &key, &resetToExit);
	AddLatencyRows("Announcement line -> headless snapshot begun", snapshotBegun, kLatencyRuns, 95,
	               100, "< 100 ms");
	AddLatencyRows("Announcement line -> headless snapshot written", snapshotDone, kLatencyRuns, 95,
	               100, "< 100 ms");
	AddLatencyRows("Enter on the terminal -> announcement line", key, kLatencyRuns, 99, 50,
	               "<= 50 ms");
	if (!key.empty()) {
		VelmoBench::RecordFigure("screen.keyboard_median_ms", Median(key));
		VelmoBench::RecordFigure("screen.keyboard_p99_ms", Quantile(key, 0.99));
	}
	AddLatencyRows("ENTER on the unit -> announcement line", unitKey, 2 * kLatencyRuns, 95, 0, "");
	AddLatencyRows("Reset line -> process exit", resetToExit, kResetRuns, 100, 60, "<= 60 ms");

	PrintTable();
	printf("\n(%.0f s in all)\n", Milliseconds(Clock::now() - start) / 1000);
	return AnyFailed() ? 1 : 0;
}

