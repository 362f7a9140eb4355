// Start-up of the real program on a headless display, the simulated remote unit on its port as
// in the kiosk: the time from starting the process to the first question painted in its
// framebuffer, and its resident memory while it asks.

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "support/FramebufferSnapshots.h"
#include "support/ProcessStats.h"
#include "support/ProgramRun.h"
#include "support/TempDirectory.h"
#include "unit-sim/UnitSimulator.h"

using namespace VelmoTest;
using namespace std::chrono_literals;

namespace {

// Whether the snapshot shows text in the text area: some pixel there has the text colour exactly.
bool ShowsText(const ImageFiles::Image& image)
{
	for (int y = 559; y <= 654 && y < image.height; y++) {
		for (int x = 320; x <= 704 && x < image.width; x++) {
			if ((image.At(x, y) & 0xffffff) == 0x8442ff)
				return true;
		}
	}
	return false;
}

void StartToFirstQuestion(benchmark::State& state)
{
	PlatformRootDirectory root;
	UnitSim::UnitSimulator unit(root.Path(), "serial1");
	std::string error;
	if (!unit.Start(&error)) {
		state.SkipWithError(("no simulated unit: " + error).c_str());
		return;
	}
	long rss = 0;
	std::vector<double> writeTimes;
	for (auto _ : state) {
		FramebufferSnapshots snapshots(root.Join("screen.png"));
		ProgramRun::Options options;
		options.environment["BEOS_ROOT"] = root.Path();
		options.environment["BEOS_DISPLAY"] = "headless";
		options.environment["BEOS_FRAMEBUFFER_PNG"] = snapshots.Path();
		options.unsetEnvironment = {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"};
		const Clock::time_point start = Clock::now();
		ProgramRun program(VelmoResetPath(), options);

		FramebufferSnapshots::Snapshot snapshot;
		if (!snapshots.WaitFor(ShowsText, start + 20s, &snapshot)) {
			state.SkipWithError("the question never appeared in the framebuffer");
			break;
		}
		// Painted when the display began to save it; encoding the PNG is the snapshot's own cost.
		state.SetIterationTime(std::chrono::duration<double>(snapshot.begun - start).count());
		writeTimes.push_back(std::chrono::duration<double, std::milli>(snapshot.done - start).count());
		rss = std::max(rss, ResidentKibibytes(program.Pid()));
		program.Signal(SIGTERM);
		program.WaitForExit(5s);
	}
	state.counters["rss_kib_asking"] = (double)rss;
	if (!writeTimes.empty()) {
		std::sort(writeTimes.begin(), writeTimes.end());
		state.counters["snapshot_written_ms"] = writeTimes[writeTimes.size() / 2];
	}
}

} // namespace

BENCHMARK(StartToFirstQuestion)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
