// The whole-transcript check: exact about the reset's lines, and about the lines a stall of the
// simulated unit may add, where they may come, when and how many.

#include "support/Transcript.h"

#include <gtest/gtest.h>

using namespace VelmoTest;

namespace {

const std::string kModel = "Detected Classic KM-3";
// The lines come this far apart: a whole reset spans longer than a stall's window.
const std::chrono::milliseconds kLineGap{200};

// One reset with the unit on serial1, as the threads may well interleave it, with `extra` put in
// just before the line `before` (or at the end when it is empty); a line every kLineGap.
std::vector<PrintedLine> ResetWith(const std::vector<std::string>& extra,
	const std::string& before = "")
{
	std::vector<std::string> lines = {
		"VelmoReset::ReadyToRun(): Checking if we need to terminate VelmoLaunch ...",
		"VelmoReset::ReadyToRun(): VelmoLaunch not running, no need to terminate it.",
		"UserInterface running",
		"Installer running (default mode = 0)",
		"",
		"Remove floppy   ",
		"Insert CD, ENTER",
		"",
		"RB: Using serial port serial1",
		kModel,
		"",
		"Rebooting VELMO ",
		"  please wait   ",
		"",
		"Reset with mode = 0",
		"Installer exiting",
		"UserInterface exiting",
	};
	const int at = before.empty() ? (int)lines.size() : IndexOf(lines, before);
	lines.insert(lines.begin() + at, extra.begin(), extra.end());
	std::vector<PrintedLine> timed;
	for (size_t index = 0; index < lines.size(); index++)
		timed.push_back({lines[index], Clock::time_point() + kLineGap * index});
	return timed;
}

// `count` stalls of the unit, each just before the first line of `lines` equal to `text`, or
// after all of them when none is.
ResetTranscript WithTheUnit(int count, const std::vector<PrintedLine>& lines = {},
	const std::string& text = "")
{
	ResetTranscript expected;
	expected.portName = "serial1";
	expected.modelLine = kModel;
	Clock::time_point at = Clock::time_point() + kLineGap * (lines.size() + 20);
	for (const PrintedLine& line : lines) {
		if (line.text == text) {
			at = line.time;
			break;
		}
	}
	for (int stall = 0; stall < count; stall++)
		expected.unitStalls.push_back({at - kLineGap / 2, at - kLineGap / 4});
	return expected;
}

TEST(Transcript, AWholeResetMatchesAndAMissingOrStrayLineDoesNot)
{
	EXPECT_TRUE(IsTranscriptOf(ResetWith({}), WithTheUnit(0)));

	std::vector<PrintedLine> missing = ResetWith({});
	missing.erase(missing.begin() + 15); // "Installer exiting"
	EXPECT_FALSE(IsTranscriptOf(missing, WithTheUnit(0)));

	const std::vector<PrintedLine> reset = ResetWith({"Reset with mode = 0"});
	EXPECT_FALSE(IsTranscriptOf(reset, WithTheUnit(3, reset, "Reset with mode = 0")));
	const std::vector<PrintedLine> model = ResetWith({kModel});
	EXPECT_FALSE(IsTranscriptOf(model, WithTheUnit(3, model, kModel)));
}

TEST(Transcript, LinesOfAStalledReplyNeedAStallOfTheUnitJustBefore)
{
	for (const char* line :
		{"Unknown packet size 38", "Invalid checksum", "Unknown header type 00"}) {
		const std::vector<PrintedLine> lines = ResetWith({line}, kModel);
		EXPECT_FALSE(IsTranscriptOf(lines, WithTheUnit(0))) << line;
		EXPECT_TRUE(IsTranscriptOf(lines, WithTheUnit(1, lines, line))) << line;
		// Stalls elsewhere in the run excuse nothing: long before the line, or after it.
		ResetTranscript elsewhere = WithTheUnit(2, lines, "VelmoReset::ReadyToRun(): "
			"Checking if we need to terminate VelmoLaunch ...");
		const ResetTranscript later = WithTheUnit(2, lines, "UserInterface exiting");
		elsewhere.unitStalls.insert(elsewhere.unitStalls.end(), later.unitStalls.begin(),
			later.unitStalls.end());
		EXPECT_FALSE(IsTranscriptOf(lines, elsewhere)) << line;
	}
}

TEST(Transcript, TwoRepliesReadAsOneAreAllowedOnlyWhileTheLengthIsMeasured)
{
	const std::vector<PrintedLine> measuring = ResetWith({"Unknown packet size 38"}, kModel);
	EXPECT_TRUE(IsTranscriptOf(measuring, WithTheUnit(1, measuring, "Unknown packet size 38")));
	const std::vector<PrintedLine> measured =
		ResetWith({"Unknown packet size 38"}, "Rebooting VELMO ");
	EXPECT_FALSE(IsTranscriptOf(measured, WithTheUnit(5, measured, "Unknown packet size 38")));
	const std::vector<PrintedLine> checksum = ResetWith({"Invalid checksum"}, "Rebooting VELMO ");
	EXPECT_TRUE(IsTranscriptOf(checksum, WithTheUnit(1, checksum, "Invalid checksum")));
}

TEST(Transcript, EachStallAllowsTwoLinesAtMost)
{
	const std::vector<PrintedLine> three = ResetWith(
		{"Invalid checksum", "Unknown header type 07", "Invalid checksum"},
		"UserInterface exiting");
	EXPECT_FALSE(IsTranscriptOf(three, WithTheUnit(1, three, "Invalid checksum")));
	EXPECT_TRUE(IsTranscriptOf(three, WithTheUnit(2, three, "Invalid checksum")));
}

TEST(Transcript, SendErrorsAndTheTestsOwnFaultLinesOnlyWhenSaid)
{
	const std::vector<PrintedLine> lines = ResetWith({"ERROR sending byte f2"}, kModel);
	EXPECT_FALSE(IsTranscriptOf(lines, WithTheUnit(1, lines, "ERROR sending byte f2")));
	ResetTranscript lost = WithTheUnit(0);
	lost.sendErrors = true;
	EXPECT_TRUE(IsTranscriptOf(lines, lost));

	ResetTranscript garbled = WithTheUnit(0);
	garbled.faultLines = {"Unknown header type "};
	EXPECT_TRUE(IsTranscriptOf(ResetWith({"Unknown header type 91", "Unknown header type 33"}),
		garbled));
	EXPECT_FALSE(IsTranscriptOf(ResetWith({"Invalid checksum"}), garbled));
}

} // namespace
