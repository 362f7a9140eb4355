// The whole-transcript check: exact about the reset's lines, and about the lines a stall of the
// simulated unit may add, where they may come and how many.

#include "support/Transcript.h"

#include <gtest/gtest.h>

using namespace VelmoTest;

namespace {

const std::string kModel = "Detected Classic KM-3";

// One reset with the unit on serial1, as the threads may well interleave it, with `extra` put in
// just before the line `before` (or at the end when it is empty).
std::vector<std::string> ResetWith(const std::vector<std::string>& extra,
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
	return lines;
}

ResetTranscript WithTheUnit(uint64_t stalls)
{
	ResetTranscript expected;
	expected.portName = "serial1";
	expected.modelLine = kModel;
	expected.unitStalls = stalls;
	return expected;
}

TEST(Transcript, AWholeResetMatchesAndAMissingOrStrayLineDoesNot)
{
	EXPECT_TRUE(IsTranscriptOf(ResetWith({}), WithTheUnit(0)));

	std::vector<std::string> missing = ResetWith({});
	missing.erase(missing.begin() + IndexOf(missing, "Installer exiting"));
	EXPECT_FALSE(IsTranscriptOf(missing, WithTheUnit(0)));

	EXPECT_FALSE(IsTranscriptOf(ResetWith({"Reset with mode = 0"}), WithTheUnit(3)));
	EXPECT_FALSE(IsTranscriptOf(ResetWith({kModel}), WithTheUnit(3)));
}

TEST(Transcript, LinesOfAStalledReplyNeedAStallOfTheUnit)
{
	for (const char* line : {"Unknown packet size 38", "Invalid checksum", "Unknown header type 00"}) {
		EXPECT_FALSE(IsTranscriptOf(ResetWith({line}, kModel), WithTheUnit(0))) << line;
		EXPECT_TRUE(IsTranscriptOf(ResetWith({line}, kModel), WithTheUnit(1))) << line;
	}
}

TEST(Transcript, TwoRepliesReadAsOneAreAllowedOnlyWhileTheLengthIsMeasured)
{
	EXPECT_TRUE(IsTranscriptOf(ResetWith({"Unknown packet size 38"}, kModel), WithTheUnit(1)));
	EXPECT_FALSE(IsTranscriptOf(ResetWith({"Unknown packet size 38"}, "Rebooting VELMO "),
		WithTheUnit(5)));
	EXPECT_TRUE(IsTranscriptOf(ResetWith({"Invalid checksum"}, "Rebooting VELMO "),
		WithTheUnit(1)));
}

TEST(Transcript, EachStallAllowsTwoLinesAtMost)
{
	const std::vector<std::string> three = {
		"Invalid checksum", "Unknown header type 07", "Invalid checksum"};
	EXPECT_FALSE(IsTranscriptOf(ResetWith(three, "UserInterface exiting"), WithTheUnit(1)));
	EXPECT_TRUE(IsTranscriptOf(ResetWith(three, "UserInterface exiting"), WithTheUnit(2)));
}

TEST(Transcript, SendErrorsAndTheTestsOwnFaultLinesOnlyWhenSaid)
{
	const std::vector<std::string> lines = ResetWith({"ERROR sending byte f2"}, kModel);
	EXPECT_FALSE(IsTranscriptOf(lines, WithTheUnit(1)));
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
