#pragma once

// What the parts of ScreenBench share: the frame's text area, the runs, and the table of
// figures every part adds its rows to.

#include <stdint.h>
#include <sys/types.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Statistics.h"
#include "support/ProcessStats.h"
#include "support/ProgramRun.h"
#include "support/Xvfb.h"

namespace ScreenBench {

using namespace VelmoTest;
using namespace std::chrono_literals;
using VelmoBench::Median;
using VelmoBench::Quantile;

// The text area of the reset view, inclusive, in screen coordinates (the window is at 0,0).
inline constexpr int kTextLeft = 320;
inline constexpr int kTextTop = 559;
inline constexpr int kTextWidth = 704 - 320 + 1;
inline constexpr int kTextHeight = 654 - 559 + 1;
inline constexpr uint32_t kPurple = 0x8442ff;

inline const char* const kQuestionLine2 = "Insert CD, ENTER";
inline const char* const kAnnouncementLine2 = "  please wait   ";
inline const char* const kResetLine = "Reset with mode = 0";

inline constexpr auto kAskingWindow = 10s;
inline constexpr int kLatencyRuns = 10;
inline constexpr int kResetRuns = 5;
// A screen larger than the frame may cost this much more than one of the frame's size.
inline constexpr double kLargerScreenAim = 1.05;
// How often PulseWatch samples the window thread's wakes, in milliseconds.
inline constexpr double kPulseSampleMs = 0.2;

inline double Milliseconds(Clock::duration duration)
{
	return std::chrono::duration<double, std::milli>(duration).count();
}

// --- The table (ScreenFigures.cpp) ------------------------------------------------------------

// `value` with `decimals` places, then `unit`.
std::string Fixed(double value, int decimals, const char* unit = "");
void AddRow(const std::string& figure, const std::string& value, const std::string& aim,
            const char* verdict);
void AddFailure(const std::string& figure, const std::string& why);
void AddNote(const std::string& note);
// The median and an upper percentile (100: the largest); an aim of 0 is none.
void AddLatencyRows(const std::string& figure, const std::vector<double>& values, int wantedRuns,
                    double upperPercent, double aim, const std::string& aimText);
void AddThreadNotes(const std::string& where, const CpuUse& use);
// `larger` against `smaller` as a ratio row, recorded as `name`; the aim: a few per cent more,
// or no more than `resolution` (what the figures are measured to). `judged`: false where chance
// moves the ratio by more than the aim (no aim and no verdict then).
void AddRatioRow(const std::string& figure, const std::string& name, double larger, double smaller,
                 int decimals, const char* unit, bool judged = true, double resolution = 0);
void PrintTable();
// Whether a row failed to be measured.
bool AnyFailed();

// --- The measurements -------------------------------------------------------------------------

// Where the program asks while its CPU is measured: its environment, the figures' key, and the
// X server it shows on (-1: none).
struct Place
{
	std::string where;
	std::string key;
	std::map<std::string, std::string> environment;
	std::vector<std::string> unset;
	pid_t serverPid;
};

inline const std::vector<std::string> kUnsetForHeadless = {"DISPLAY", "WAYLAND_DISPLAY",
                                                           "SDL_VIDEODRIVER"};
inline const std::vector<std::string> kUnsetForX = {"BEOS_DISPLAY", "WAYLAND_DISPLAY",
                                                    "SDL_VIDEODRIVER"};

// ScreenAsking.cpp. 1 and 2: CPU and memory while the question is shown and nobody presses
// anything, in every place at once over the same seconds, beside the CPU of the asking loop
// meanwhile, each against a simulated unit of its own; recorded for the figures table under each
// place's key. Measured side by side, the places share whatever else loads the machine.
// The program's CPU (schedstat) in each place it kept asking in, by key.
std::map<std::string, double> MeasureAsking(const std::vector<Place>& places);

class TextAreaReader;

// An X server the program's window is measured on, and the figures of its runs.
struct XScreen
{
	XScreen();
	~XScreen();
	std::string name; // "1024 x 768", say
	std::unique_ptr<Xvfb> server;
	std::unique_ptr<TextAreaReader> reader;
	std::vector<double> pixels;  // announcement line -> X server's pixels, ms
	std::vector<double> unitKey; // unit's ENTER -> announcement line, ms
	std::vector<double> drawing; // the pulse that drew the announcement -> its pixels, ms
};

// ScreenLatency.cpp. 3 (X) on every screen, a run on each in turn, so that the load of the
// machine falls on all alike.
void MeasureXLatency(std::vector<XScreen>& screens);
// 3 (headless), 4 and 5: Enter typed on the terminal; the announcement's line, its framebuffer
// snapshot, and in the first runs the reset line and the process's end.
void MeasureHeadless(std::vector<double>* snapshotBegun, std::vector<double>* snapshotDone,
                     std::vector<double>* key, std::vector<double>* resetToExit);

} // namespace ScreenBench
