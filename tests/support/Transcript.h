#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/ProgramRun.h"

namespace VelmoTest {

// The dialogue's lines, as the installer shows them and the program prints them.
inline const std::string kPrompt1 = "Remove floppy   ";
inline const std::string kPrompt2 = "Insert CD, ENTER";
inline const std::string kAnnounce1 = "Rebooting VELMO ";
inline const std::string kAnnounce2 = "  please wait   ";
inline const std::string kResetLine = "Reset with mode = 0";
inline const std::string kClassicLine = "Detected Classic KM-3";

// A stall of the simulated unit: from when its delayed bytes were due to when they went out.
struct UnitStall
{
	Clock::time_point from;
	Clock::time_point to;
};

// How long after a stall's end its lines may come: the program reads a stalled reply at the poll
// it reaches or at the next (tens of milliseconds), and the test reads the line after that; on a
// busy machine either can be some hundreds of milliseconds late.
inline constexpr std::chrono::milliseconds kStallLineWindow{1000};

// What a whole run of the program prints: the lines of one reset, each thread's in its own order,
// and besides them only the lines that the run's circumstances make the program print.
struct ResetTranscript
{
	bool velmoLaunchWasRunning = false;
	// The port the remote-unit thread names, and the model line it prints once it has measured
	// the unit; empty when the run has no such line.
	std::string portName;
	std::string modelLine;
	// The port was missing or went away: "ERROR sending byte" lines, and the port's notices, may
	// come anywhere.
	bool sendErrors = false;
	// Lines starting with one of these may come anywhere: the test's own unit makes them.
	std::vector<std::string> faultLines;
	// When the simulated unit stalled (UnitSimulator::StallTimes). A stalled reply reaches the
	// program cut in two, or after the read time-out and together with the next one. Each stall
	// may then add at most two of the lines the protocol prints for that, printed from the
	// stall's start to kStallLineWindow after its end: before the model line, while the reply's
	// length is still being measured, "Unknown packet size N" (two replies read as one),
	// "Invalid checksum" (a cut reply) or "Unknown header type XX" (a reply's rest read as the
	// start of the next); after it, the last two only. Outside every stall, none of them.
	std::vector<UnitStall> unitStalls;
};

// Whether `lines` are exactly what `expected` describes; on failure, what is wrong and the lines.
testing::AssertionResult IsTranscriptOf(const std::vector<PrintedLine>& lines,
	const ResetTranscript& expected);

// Whether `actual` is an interleaving of the per-thread sequences: every sequence appears in it
// in order, and nothing else does. Threads print independently, so only each thread's own order
// is fixed. On failure, `why` says where it went wrong.
bool IsInterleavingOf(const std::vector<std::string>& actual,
	const std::vector<std::vector<std::string>>& threads, std::string* why);

// The index of the first line equal to `text`, or -1.
int IndexOf(const std::vector<std::string>& lines, const std::string& text);

// The lines of a whole reset, by the thread that prints them.
std::vector<std::string> ApplicationLines(bool velmoLaunchWasRunning);
std::vector<std::string> InstallerLines();
// The remote-unit thread's lines. With a port it names it after its first line, and with a unit
// on it the model line follows; an empty `portName` or `modelLine` leaves that line out.
std::vector<std::string> UserInterfaceLines(const std::string& portName = "",
	const std::string& modelLine = "");

// The start of the serial port's notices on standard error (no port opened; the port went away,
// is back).
inline const std::string kPortNoticePrefix = "serial: ";
// A failed send's line, and the count of its repeats on standard error.
inline const std::string kSendErrorPrefix = "ERROR sending byte ";
inline const std::string kSendRepeatsPrefix = "remote: sending failed ";

// `lines` without the send error lines and counts a missing or hung-up port makes, and without
// the port's notices.
std::vector<std::string> WithoutSendErrors(const std::vector<std::string>& lines);
// `lines` without those starting with any of `prefixes`.
std::vector<std::string> WithoutLinesStarting(const std::vector<std::string>& lines,
	const std::vector<std::string>& prefixes);
// How many of `lines` start with `prefix`.
size_t CountStarting(const std::vector<std::string>& lines, const std::string& prefix);
// How many failed sends `lines` tell of: one a send error line, and the count of each repeat
// line.
size_t SendFailuresTold(const std::vector<std::string>& lines);

} // namespace VelmoTest
