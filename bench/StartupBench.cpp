// Start-up of the real program on a headless display, the simulated remote unit on its port as
// in the kiosk, at the line's own speed: the time from starting the process to the first question
// painted in its framebuffer and to the question complete on the unit's LCD, and its resident
// memory while it asks. A table of the medians follows Google Benchmark's own report.

#include <signal.h>
#include <stdio.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "BenchFigures.h"
#include "Statistics.h"
#include "support/FramebufferSnapshots.h"
#include "support/ProcessStats.h"
#include "support/ProgramRun.h"
#include "support/TempDirectory.h"
#include "unit-sim/UnitSimulator.h"

using namespace VelmoTest;
using namespace std::chrono_literals;

namespace {

using VelmoBench::Median;

typedef std::chrono::duration<double, std::milli> Milliseconds;

// Every repetition's figures, in milliseconds from the start of the process.
std::vector<double> gPainted;
std::vector<double> gSnapshotWritten;
std::vector<double> gOnLcd;
long gResidentKibibytes = 0;

// When the unit's LCD first showed the question complete at or after `start`; false if not yet.
bool QuestionShownOnLcd(const UnitSim::UnitSimulator& unit, Clock::time_point start,
                        Clock::time_point* shown)
{
	for (const UnitSim::LcdFrame& frame : unit.LcdFrames()) {
		if (frame.time >= start && frame.line1 == "Remove floppy   " &&
		    frame.line2 == "Insert CD, ENTER") {
			*shown = frame.time;
			return true;
		}
	}
	return false;
}

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
	UnitSim::Options wire;
	wire.wireTiming = true;
	wire.bitRate = 57600;
	UnitSim::UnitSimulator unit(root.Path(), "serial1", wire);
	std::string error;
	if (!unit.Start(&error)) {
		state.SkipWithError(("no simulated unit: " + error).c_str());
		return;
	}
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
		gPainted.push_back(Milliseconds(snapshot.begun - start).count());
		gSnapshotWritten.push_back(Milliseconds(snapshot.done - start).count());
		Clock::time_point shown;
		if (!unit.WaitForLcd("Remove floppy   ", "Insert CD, ENTER", start + 20s) ||
		    !QuestionShownOnLcd(unit, start, &shown)) {
			state.SkipWithError("the question never appeared on the unit's LCD");
			break;
		}
		gOnLcd.push_back(Milliseconds(shown - start).count());
		gResidentKibibytes = std::max(gResidentKibibytes, ResidentKibibytes(program.Pid()));
		program.Signal(SIGTERM);
		program.WaitForExit(5s);
	}
}

} // namespace

BENCHMARK(StartToFirstQuestion)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

int main(int argc, char** argv)
{
	benchmark::Initialize(&argc, argv);
	if (benchmark::ReportUnrecognizedArguments(argc, argv))
		return 1;
	benchmark::RunSpecifiedBenchmarks();
	benchmark::Shutdown();

	printf("\nStart of the process to the first question, medians of %zu runs\n", gPainted.size());
	printf("%-40s %8.1f ms\n", "painted in the framebuffer", Median(gPainted));
	printf("%-40s %8.1f ms\n", "snapshot saved as PNG", Median(gSnapshotWritten));
	printf("%-40s %8.1f ms\n", "complete on the unit's LCD (57600 bit/s)", Median(gOnLcd));
	printf("%-40s %8ld KiB (largest)\n", "resident memory while asking", gResidentKibibytes);
	VelmoBench::RecordFigure("startup.screen_median_ms", Median(gPainted));
	VelmoBench::RecordFigure("startup.lcd_median_ms", Median(gOnLcd));
	return 0;
}
