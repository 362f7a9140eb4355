// Start-up of the real program on a headless display: the time from starting the process to the
// first question painted in its framebuffer, and its resident memory while it asks.

#include <signal.h>
#include <sys/inotify.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>

#include <SDL2/SDL.h>
#include <SDL2/SDL_image.h>
#include <benchmark/benchmark.h>

#include "support/ProgramRun.h"
#include "support/TempDirectory.h"

using namespace VelmoTest;
using namespace std::chrono_literals;

namespace {

// Whether the PNG shows text in the text area: some pixel there has the text colour exactly.
bool
ShowsText(const std::string& path)
{
	SDL_Surface* loaded = IMG_Load(path.c_str());
	if (loaded == nullptr)
		return false;
	SDL_Surface* surface = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0);
	SDL_FreeSurface(loaded);
	if (surface == nullptr)
		return false;
	bool found = false;
	for (int y = 559; y <= 654 && !found && y < surface->h; y++) {
		const uint32_t* row = (const uint32_t*)((const uint8_t*)surface->pixels + y * surface->pitch);
		for (int x = 320; x <= 704 && x < surface->w; x++) {
			if ((row[x] & 0xffffff) == 0x8442ff) {
				found = true;
				break;
			}
		}
	}
	SDL_FreeSurface(surface);
	return found;
}

long
ResidentKilobytes(pid_t pid)
{
	std::ifstream status("/proc/" + std::to_string(pid) + "/status");
	std::string line;
	while (std::getline(status, line)) {
		if (line.rfind("VmRSS:", 0) == 0)
			return std::stol(line.substr(6));
	}
	return -1;
}

void
StartToFirstQuestion(benchmark::State& state)
{
	PlatformRootDirectory root;
	long rss = 0;
	for (auto _ : state) {
		const std::string png = root.Join("screen.png");
		unlink(png.c_str());
		int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
		inotify_add_watch(watch, root.Path().c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);

		ProgramRun::Options options;
		options.environment["BEOS_ROOT"] = root.Path();
		options.environment["BEOS_DISPLAY"] = "headless";
		options.environment["BEOS_FRAMEBUFFER_PNG"] = png;
		options.unsetEnvironment = {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"};
		const Clock::time_point start = Clock::now();
		ProgramRun program(VelmoResetPath(), options);

		bool painted = false;
		const Clock::time_point deadline = start + 20s;
		while (!painted && Clock::now() < deadline) {
			struct pollfd waiting = {watch, POLLIN, 0};
			poll(&waiting, 1, 100);
			char events[4096];
			while (read(watch, events, sizeof(events)) > 0) {
			}
			painted = ShowsText(png);
		}
		const Clock::time_point end = Clock::now();
		close(watch);
		if (!painted) {
			state.SkipWithError("the question never appeared in the framebuffer");
			break;
		}
		state.SetIterationTime(std::chrono::duration<double>(end - start).count());
		rss = std::max(rss, ResidentKilobytes(program.Pid()));
		program.Signal(SIGTERM);
		program.WaitForExit(5s);
	}
	state.counters["rss_kib_asking"] = (double)rss;
}

} // namespace

BENCHMARK(StartToFirstQuestion)
	->UseManualTime()
	->Unit(benchmark::kMillisecond)
	->Iterations(1)
	->Repetitions(7)
	->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
