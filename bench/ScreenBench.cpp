// The screen side of the real program, measured from outside as the kiosk runs it (the simulated
// remote unit answering on its port): CPU use and resident memory while it asks, headless and in
// an SDL window on a private X server, the CPU beside that of a minimal loop asking on a unit of
// its own over the same seconds (VelmoAskingLoop); how long a change of the message lines takes
// to reach the X server's pixels and the headless framebuffer; keyboard Enter to the
// announcement; and the reset line to the process's exit. Prints one table at the end.

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
// Xlib's macros would rename the fixtures' Status() and Misbehaviour::None.
#undef None
#undef Status

#include "BenchFigures.h"
#include "Statistics.h"
#include "support/FramebufferSnapshots.h"
#include "support/ImageFiles.h"
#include "support/ProcessStats.h"
#include "support/ProgramRun.h"
#include "support/TempDirectory.h"
#include "support/Xvfb.h"
#include "unit-sim/UnitSimulator.h"

using namespace VelmoTest;
using namespace std::chrono_literals;

namespace {

using VelmoBench::Median;
using VelmoBench::Quantile;

// The text area of the reset view, inclusive, in screen coordinates (the window is at 0,0).
const int kTextLeft = 320;
const int kTextTop = 559;
const int kTextWidth = 704 - 320 + 1;
const int kTextHeight = 654 - 559 + 1;
const uint32_t kPurple = 0x8442ff;

const char* const kQuestionLine2 = "Insert CD, ENTER";
const char* const kAnnouncementLine2 = "  please wait   ";
const char* const kResetLine = "Reset with mode = 0";

const auto kAskingWindow = 10s;
const int kLatencyRuns = 10;
const int kResetRuns = 5;

double Milliseconds(Clock::duration duration)
{
	return std::chrono::duration<double, std::milli>(duration).count();
}

// --- The X server's pixels ----------------------------------------------------------------------

// Xlib's default handler ends the process on any error; a failed read is an empty image here.
int IgnoreXError(Display*, XErrorEvent*)
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
bool ShowsSecondLine(const std::vector<uint32_t>& pixels)
{
	if (pixels.size() != size_t(kTextWidth * kTextHeight))
		return false;
	const int from = (610 - kTextTop) * kTextWidth;
	return std::find(pixels.begin() + from, pixels.end(), kPurple) != pixels.end();
}

// --- The program and its unit -------------------------------------------------------------------

// One run of the program with a logo and the simulated unit on dev/ports/serial1.
class Kiosk
{
public:
	Kiosk() = default;
	Kiosk(const Kiosk&) = delete;
	Kiosk& operator=(const Kiosk&) = delete;

	// `environment` on top of the platform root's; false with the reason in *error.
	bool Start(const std::map<std::string, std::string>& environment,
	           const std::vector<std::string>& unset, std::string* error)
	{
		if (!ImageFiles::WriteBmp(fRoot.LogoPath(), ImageFiles::Pattern(200, 150), 24)) {
			*error = "cannot write the logo";
			return false;
		}
		fUnit = std::make_unique<UnitSim::UnitSimulator>(fRoot.Path(), "serial1");
		if (!fUnit->Start(error))
			return false;
		ProgramRun::Options options;
		options.environment = environment;
		options.environment["BEOS_ROOT"] = fRoot.Path();
		options.unsetEnvironment = unset;
		fProgram = std::make_unique<ProgramRun>(VelmoResetPath(), options);
		if (!fProgram->WaitForLine(kQuestionLine2, 20s)) {
			*error = "the program never asked:\n" + fProgram->Output();
			return false;
		}
		if (!fUnit->WaitForLcd("Remove floppy   ", kQuestionLine2, Clock::now() + 20s)) {
			*error = "the unit's LCD never showed the question:\n" + fProgram->Output();
			return false;
		}
		return true;
	}

	const PlatformRootDirectory& Root() const { return fRoot; }
	UnitSim::UnitSimulator& Unit() { return *fUnit; }
	ProgramRun& Program() { return *fProgram; }

	void Stop()
	{
		fProgram->Signal(SIGTERM);
		fProgram->WaitForExit(5s);
	}

private:
	PlatformRootDirectory fRoot;
	std::unique_ptr<UnitSim::UnitSimulator> fUnit;
	std::unique_ptr<ProgramRun> fProgram;
};

const std::vector<std::string> kUnsetForHeadless = {"DISPLAY", "WAYLAND_DISPLAY",
                                                    "SDL_VIDEODRIVER"};
const std::vector<std::string> kUnsetForX = {"BEOS_DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"};

// --- Figures ------------------------------------------------------------------------------------

struct Row
{
	std::string figure;
	std::string value;
	std::string aim;
	const char* verdict; // "met", "MISSED" or ""
};

std::vector<Row> sRows;
std::vector<std::string> sNotes;

// `value` with `decimals` places, then `unit`.
std::string Fixed(double value, int decimals, const char* unit = "")
{
	char text[64];
	snprintf(text, sizeof(text), "%.*f%s", decimals, value, unit);
	return text;
}

void AddRow(const std::string& figure, const std::string& value, const std::string& aim,
            const char* verdict)
{
	sRows.push_back({figure, value, aim, verdict});
}

void AddFailure(const std::string& figure, const std::string& why)
{
	AddRow(figure, "not measured", "", "FAILED");
	sNotes.push_back(figure + ": " + why);
}

// The median and an upper percentile (100: the largest); an aim of 0 is none.
void AddLatencyRows(const std::string& figure, const std::vector<double>& values, int wantedRuns,
                    double upperPercent, double aim, const std::string& aimText)
{
	if (values.empty()) {
		AddFailure(figure, "no run succeeded");
		return;
	}
	const std::string runs =
	    " (" + std::to_string(values.size()) + "/" + std::to_string(wantedRuns) + " runs)";
	const double median = Median(values);
	const double upper = Quantile(values, upperPercent / 100.0);
	const std::string upperName = upperPercent >= 100 ? "max" : "p" + Fixed(upperPercent, 0);
	AddRow(figure + ", median" + runs, Fixed(median, 1, " ms"), aimText,
	       aim <= 0        ? ""
	       : median <= aim ? "met"
	                       : "MISSED");
	AddRow(figure + ", " + upperName + runs, Fixed(upper, 1, " ms"), aimText,
	       aim <= 0       ? ""
	       : upper <= aim ? "met"
	                      : "MISSED");
}

void AddThreadNotes(const std::string& where, const CpuUse& use)
{
	std::string note = where + ", per thread (% of one core from schedstat, from stat's ticks; "
	                           "times on a CPU, read and write calls a second):";
	int idle = 0;
	for (const ThreadUse& thread : use.threads) {
		if (thread.runsPerSecond == 0 && thread.percent < 0.005) {
			idle++;
			continue;
		}
		note += "\n    " + thread.name + ": " + Fixed(thread.percent, 2, " %") + ", " +
		        Fixed(thread.tickPercent, 1, " %") + "; " + Fixed(thread.runsPerSecond, 0) +
		        " runs/s, " + Fixed(thread.readsPerSecond, 0) + " reads/s, " +
		        Fixed(thread.writesPerSecond, 0) + " writes/s";
	}
	note += "\n    " + std::to_string(idle) + " more threads never ran";
	sNotes.push_back(note);
}

// --- The measurements ---------------------------------------------------------------------------

// The reference for the CPU used while asking: VelmoAskingLoop, the unit's protocol in a plain
// POSIX loop, with a simulated unit of its own like the kiosk's.
class AskingLoopRun
{
public:
	AskingLoopRun() = default;
	AskingLoopRun(const AskingLoopRun&) = delete;
	AskingLoopRun& operator=(const AskingLoopRun&) = delete;

	// False with the reason in *error.
	bool Start(std::string* error)
	{
		fUnit = std::make_unique<UnitSim::UnitSimulator>(fRoot.Path(), "serial1");
		if (!fUnit->Start(error))
			return false;
		ProgramRun::Options options;
		options.arguments = {fUnit->LinkPath(), "Remove floppy   ", kQuestionLine2};
		options.onTerminal = false;
		fLoop = std::make_unique<ProgramRun>(
		    std::string(VELMO_BUILD_DIR) + "/bench/VelmoAskingLoop", options);
		if (!fUnit->WaitForLcd("Remove floppy   ", kQuestionLine2, Clock::now() + 20s)) {
			*error = "the loop never asked on its unit:\n" + fLoop->Output();
			return false;
		}
		return true;
	}

	UnitSim::UnitSimulator& Unit() { return *fUnit; }
	ProgramRun& Loop() { return *fLoop; }

	void Stop()
	{
		fLoop->Signal(SIGTERM);
		fLoop->WaitForExit(5s);
	}

private:
	PlatformRootDirectory fRoot;
	std::unique_ptr<UnitSim::UnitSimulator> fUnit;
	std::unique_ptr<ProgramRun> fLoop;
};

// 1 and 2: CPU and memory while the question is shown and nobody presses anything, beside the
// CPU of the asking loop over the same seconds, each against a simulated unit of its own; recorded
// for the figures table under `key`.
void MeasureAsking(const std::string& where, const std::string& key,
                   const std::map<std::string, std::string>& environment,
                   const std::vector<std::string>& unset, pid_t serverPid)
{
	Kiosk kiosk;
	std::string error;
	if (!kiosk.Start(environment, unset, &error)) {
		AddFailure("CPU while asking, " + where, error);
		return;
	}
	AskingLoopRun loop;
	const bool loopAsks = loop.Start(&error);
	if (!loopAsks)
		AddFailure("CPU of the asking loop, beside " + where, error);
	// Let the start-up's last work (first paint, first LCD frames) pass.
	std::this_thread::sleep_for(1s);
	const pid_t pid = kiosk.Program().Pid();
	const pid_t loopPid = loopAsks ? loop.Loop().Pid() : -1;
	const ProcessSample first = SampleProcess(pid);
	const ProcessSample loopFirst = loopAsks ? SampleProcess(loopPid) : ProcessSample();
	const ProcessSample serverFirst = serverPid > 0 ? SampleProcess(serverPid) : ProcessSample();
	const uint64_t polls = kiosk.Unit().PollCount();
	const uint64_t loopPolls = loopAsks ? loop.Unit().PollCount() : 0;
	const Clock::time_point from = Clock::now();
	std::this_thread::sleep_for(kAskingWindow);
	const CpuUse use = CpuUseBetween(first, SampleProcess(pid));
	const CpuUse loopUse = loopAsks ? CpuUseBetween(loopFirst, SampleProcess(loopPid)) : CpuUse();
	const double seconds = Milliseconds(Clock::now() - from) / 1000;
	const double pollsPerSecond = double(kiosk.Unit().PollCount() - polls) / seconds;
	const double loopPollsPerSecond =
	    loopAsks ? double(loop.Unit().PollCount() - loopPolls) / seconds : 0;
	const long resident = ResidentKibibytes(pid);
	const std::string residentBreakdown = ResidentBreakdown(pid);
	const bool stillAsking = kiosk.Unit().LcdLines().second == kQuestionLine2;
	const bool loopStillAsking = loopAsks && loop.Unit().PollCount() > loopPolls;
	kiosk.Stop();
	if (loopAsks)
		loop.Stop();
	if (!stillAsking) {
		AddFailure("CPU while asking, " + where, "the program stopped asking");
		return;
	}
	if (loopAsks && !loopStillAsking) {
		AddFailure("CPU of the asking loop, beside " + where, "the loop stopped asking");
		return;
	}
	const std::string aim = loopAsks ? "<= 1.3 x the loop" : "";
	const auto verdict = [&](double percent, double loopPercent) {
		return !loopAsks ? "" : percent <= 1.3 * loopPercent ? "met" : "MISSED";
	};
	AddRow("CPU while asking, " + where + " (stat ticks)", Fixed(use.percent, 2, " % of a core"),
	       aim, verdict(use.percent, loopUse.percent));
	AddRow("CPU while asking, " + where + " (schedstat)",
	       Fixed(use.precisePercent, 2, " % of a core"), aim,
	       verdict(use.precisePercent, loopUse.precisePercent));
	AddRow("Polls while asking, " + where, Fixed(pollsPerSecond, 1, " a second"), "", "");
	if (loopAsks) {
		AddRow("CPU of the asking loop meanwhile (stat ticks)",
		       Fixed(loopUse.percent, 2, " % of a core"), "", "");
		AddRow("CPU of the asking loop meanwhile (schedstat)",
		       Fixed(loopUse.precisePercent, 2, " % of a core"), "", "");
		AddRow("Polls of the asking loop meanwhile", Fixed(loopPollsPerSecond, 1, " a second"), "",
		       "");
		VelmoBench::RecordFigure("screen.loop_cpu_" + key + "_percent", loopUse.precisePercent);
		VelmoBench::RecordFigure("screen.loop_polls_" + key + "_per_s", loopPollsPerSecond);
		AddThreadNotes("CPU of the asking loop beside " + where, loopUse);
	}
	if (serverPid > 0) {
		const CpuUse server = CpuUseBetween(serverFirst, SampleProcess(serverPid));
		AddRow("X server's CPU meanwhile (stat ticks)", Fixed(server.percent, 2, " % of a core"),
		       "", "");
	}
	AddRow("Resident memory while asking, " + where, Fixed(double(resident), 0, " KiB"), "", "");
	VelmoBench::RecordFigure("screen.cpu_" + key + "_percent", use.precisePercent);
	// The remote-unit thread alone: the part of the program that does what the loop does.
	for (const ThreadUse& thread : use.threads) {
		if (thread.name == "UserInterface")
			VelmoBench::RecordFigure("screen.ui_thread_cpu_" + key + "_percent", thread.percent);
	}
	VelmoBench::RecordFigure("screen.polls_" + key + "_per_s", pollsPerSecond);
	VelmoBench::RecordFigure("screen.rss_" + key + "_kib", double(resident));
	AddThreadNotes("CPU while asking, " + where, use);
	sNotes.push_back("Resident memory while asking, " + where + ": " + residentBreakdown);
}

// 3 (X): from the announcement's line on the terminal to the first changed pixel of the text
// area on the X server, ENTER pressed on the unit. Also: the unit's key to the announcement.
void MeasureXLatency(const Xvfb& server, std::vector<double>* screen, std::vector<double>* unitKey)
{
	TextAreaReader reader(server.DisplayName());
	if (!reader.IsOpen()) {
		sNotes.push_back("X latency: cannot connect to " + server.DisplayName());
		return;
	}
	for (int run = 0; run < kLatencyRuns; run++) {
		Kiosk kiosk;
		std::string error;
		if (!kiosk.Start({{"DISPLAY", server.DisplayName()}}, kUnsetForX, &error)) {
			sNotes.push_back("X latency run " + std::to_string(run) + ": " + error);
			continue;
		}
		// The question, painted and settled: two reads alike, 100 ms apart.
		std::vector<uint32_t> question;
		const Clock::time_point settleDeadline = Clock::now() + 20s;
		for (;;) {
			question = reader.Read();
			std::this_thread::sleep_for(100ms);
			if (ShowsSecondLine(question) && reader.Read() == question)
				break;
			if (Clock::now() > settleDeadline) {
				question.clear();
				break;
			}
		}
		if (question.empty()) {
			sNotes.push_back("X latency run " + std::to_string(run) +
			                 ": the question never "
			                 "appeared on the X server");
			kiosk.Stop();
			continue;
		}

		const Clock::time_point pressed = Clock::now();
		kiosk.Unit().PressKey(UnitSim::Key::Enter);
		Clock::time_point changed;
		bool seen = false;
		const Clock::time_point deadline = pressed + 5s;
		while (!seen && Clock::now() < deadline) {
			std::vector<uint32_t> now = reader.Read();
			changed = Clock::now();
			seen = !now.empty() && now != question;
			if (!seen)
				std::this_thread::sleep_for(1ms);
		}
		Clock::time_point announced;
		const bool printed = kiosk.Program().WaitForLine(kAnnouncementLine2, 5s) &&
		                     kiosk.Program().TimeOf(kAnnouncementLine2, &announced);
		kiosk.Stop();
		if (!seen || !printed) {
			sNotes.push_back("X latency run " + std::to_string(run) +
			                 (printed ? ": the screen never changed" : ": no announcement"));
			continue;
		}
		screen->push_back(Milliseconds(changed - announced));
		unitKey->push_back(Milliseconds(announced - pressed));
	}
}

// The text area of a framebuffer snapshot as 0xRRGGBB; empty if the image is too small.
std::vector<uint32_t> TextArea(const ImageFiles::Image& image)
{
	std::vector<uint32_t> pixels;
	if (image.width < kTextLeft + kTextWidth || image.height < kTextTop + kTextHeight)
		return pixels;
	for (int y = kTextTop; y < kTextTop + kTextHeight; y++) {
		for (int x = kTextLeft; x < kTextLeft + kTextWidth; x++)
			pixels.push_back(image.At(x, y) & 0xffffff);
	}
	return pixels;
}

// 3 (headless), 4 and 5: Enter typed on the terminal; the announcement's line, its framebuffer
// snapshot, and in the first runs the reset line and the process's end.
void MeasureHeadless(std::vector<double>* snapshotBegun, std::vector<double>* snapshotDone,
                     std::vector<double>* key, std::vector<double>* resetToExit)
{
	for (int run = 0; run < kLatencyRuns; run++) {
		const std::string which = "headless run " + std::to_string(run) + ": ";
		Kiosk kiosk;
		FramebufferSnapshots snapshots(kiosk.Root().Join("screen.png"));
		std::string error;
		if (!kiosk.Start({{"BEOS_DISPLAY", "headless"}, {"BEOS_FRAMEBUFFER_PNG", snapshots.Path()}},
		                 kUnsetForHeadless, &error)) {
			sNotes.push_back(which + error);
			continue;
		}
		FramebufferSnapshots::Snapshot snapshot;
		std::vector<uint32_t> question = TextArea(ImageFiles::Load(snapshots.Path()));
		const auto showsText = [](const ImageFiles::Image& image) {
			return ShowsSecondLine(TextArea(image));
		};
		if (!ShowsSecondLine(question) &&
		    !snapshots.WaitFor(showsText, Clock::now() + 20s, &snapshot)) {
			sNotes.push_back(which + "no snapshot of the question");
			kiosk.Stop();
			continue;
		}
		if (!ShowsSecondLine(question))
			question = TextArea(snapshot.image);
		std::this_thread::sleep_for(100ms);
		snapshots.Drain();

		const Clock::time_point typed = Clock::now();
		kiosk.Program().Type("\r");
		Clock::time_point announced;
		const bool printed = kiosk.Program().WaitForLine(kAnnouncementLine2, 5s) &&
		                     kiosk.Program().TimeOf(kAnnouncementLine2, &announced);
		const auto showsAnnouncement = [&](const ImageFiles::Image& image) {
			const std::vector<uint32_t> pixels = TextArea(image);
			return ShowsSecondLine(pixels) && pixels != question;
		};
		const bool shown =
		    printed && snapshots.WaitFor(showsAnnouncement, Clock::now() + 5s, &snapshot);
		if (!printed) {
			sNotes.push_back(which + "no announcement");
			kiosk.Stop();
			continue;
		}
		key->push_back(Milliseconds(announced - typed));
		if (shown) {
			snapshotBegun->push_back(Milliseconds(snapshot.begun - announced));
			snapshotDone->push_back(Milliseconds(snapshot.done - announced));
		} else
			sNotes.push_back(which + "no snapshot of the announcement");

		if (run >= kResetRuns) {
			kiosk.Stop();
			continue;
		}
		Clock::time_point resetLine;
		Clock::time_point end;
		const bool reset = kiosk.Program().WaitForLine(kResetLine, 10s) &&
		                   kiosk.Program().TimeOf(kResetLine, &resetLine);
		const bool ended = reset && WaitForProcessEnd(kiosk.Program().Pid(), 10s, &end);
		if (ended && kiosk.Program().WaitForExit(5s) && kiosk.Program().Exited() &&
		    kiosk.Program().ExitCode() == 0)
			resetToExit->push_back(Milliseconds(end - resetLine));
		else
			sNotes.push_back(which + "no clean exit after the reset");
		kiosk.Stop();
	}
}

void PrintTable()
{
	size_t figureWidth = 6;
	size_t valueWidth = 5;
	size_t aimWidth = 3;
	for (const Row& row : sRows) {
		figureWidth = std::max(figureWidth, row.figure.size());
		valueWidth = std::max(valueWidth, row.value.size());
		aimWidth = std::max(aimWidth, row.aim.size());
	}
	printf("\n%-*s  %-*s  %-*s  %s\n", int(figureWidth), "figure", int(valueWidth), "value",
	       int(aimWidth), "aim", "");
	for (const Row& row : sRows) {
		printf("%-*s  %-*s  %-*s  %s\n", int(figureWidth), row.figure.c_str(), int(valueWidth),
		       row.value.c_str(), int(aimWidth), row.aim.c_str(), row.verdict);
	}
	printf("(Percentiles by nearest rank: of 10 runs, p95 and p99 are the largest.)\n");
	if (!sNotes.empty())
		printf("\n");
	for (const std::string& note : sNotes)
		printf("%s\n", note.c_str());
}

} // namespace

int main()
{
	signal(SIGPIPE, SIG_IGN);
	std::string error;
	std::unique_ptr<Xvfb> server = Xvfb::Start(&error);
	if (server == nullptr) {
		fprintf(stderr, "ScreenBench: cannot start a private X server: %s\n", error.c_str());
		return 1;
	}
	const Clock::time_point start = Clock::now();

	MeasureAsking("headless", "headless", {{"BEOS_DISPLAY", "headless"}}, kUnsetForHeadless, -1);
	MeasureAsking("SDL window on Xvfb", "x", {{"DISPLAY", server->DisplayName()}}, kUnsetForX,
	              FindChildNamed("Xvfb"));

	std::vector<double> xScreen;
	std::vector<double> unitKey;
	MeasureXLatency(*server, &xScreen, &unitKey);
	AddLatencyRows("Announcement line -> X server's pixels", xScreen, kLatencyRuns, 95, 50,
	               "<= 50 ms");
	if (!xScreen.empty()) {
		VelmoBench::RecordFigure("screen.x_pixels_median_ms", Median(xScreen));
		VelmoBench::RecordFigure("screen.x_pixels_p95_ms", Quantile(xScreen, 0.95));
	}

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
	AddLatencyRows("ENTER on the unit -> announcement line", unitKey, kLatencyRuns, 95, 0, "");
	AddLatencyRows("Reset line -> process exit", resetToExit, kResetRuns, 100, 60, "<= 60 ms");

	PrintTable();
	printf("\n(%.0f s in all)\n", Milliseconds(Clock::now() - start) / 1000);
	bool failed = false;
	for (const Row& row : sRows)
		failed = failed || strcmp(row.verdict, "FAILED") == 0;
	return failed ? 1 : 0;
}
