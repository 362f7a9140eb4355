#include "support/Transcript.h"

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <map>
#include <sstream>

namespace VelmoTest {

namespace {

// Depth-first search over positions in each sequence, remembering dead ends.
class InterleavingSearch {
public:
	InterleavingSearch(const std::vector<std::string>& actual,
		const std::vector<std::vector<std::string>>& threads)
		: fActual(actual), fThreads(threads) {}

	bool Search(std::vector<size_t>& positions, size_t done, size_t* furthest)
	{
		if (done > *furthest)
			*furthest = done;
		if (done == fActual.size()) {
			for (size_t i = 0; i < fThreads.size(); i++) {
				if (positions[i] != fThreads[i].size())
					return false;
			}
			return true;
		}
		if (fDeadEnds.count(positions) != 0)
			return false;
		for (size_t i = 0; i < fThreads.size(); i++) {
			if (positions[i] < fThreads[i].size()
				&& fThreads[i][positions[i]] == fActual[done]) {
				positions[i]++;
				bool found = Search(positions, done + 1, furthest);
				positions[i]--;
				if (found)
					return true;
			}
		}
		fDeadEnds[positions] = true;
		return false;
	}

private:
	const std::vector<std::string>& fActual;
	const std::vector<std::vector<std::string>>& fThreads;
	std::map<std::vector<size_t>, bool> fDeadEnds;
};

} // namespace

bool
IsInterleavingOf(const std::vector<std::string>& actual,
	const std::vector<std::vector<std::string>>& threads, std::string* why)
{
	InterleavingSearch search(actual, threads);
	std::vector<size_t> positions(threads.size(), 0);
	size_t furthest = 0;
	if (search.Search(positions, 0, &furthest))
		return true;
	if (why != nullptr) {
		std::ostringstream text;
		text << "the lines match the threads' sequences only up to line " << furthest;
		if (furthest < actual.size())
			text << " (\"" << actual[furthest] << "\")";
		text << "; printed:\n";
		for (const std::string& line : actual)
			text << "  |" << line << "|\n";
		*why = text.str();
	}
	return false;
}

int
IndexOf(const std::vector<std::string>& lines, const std::string& text)
{
	for (size_t i = 0; i < lines.size(); i++) {
		if (lines[i] == text)
			return (int)i;
	}
	return -1;
}

std::vector<std::string>
ApplicationLines(bool velmoLaunchWasRunning)
{
	return {
		"VelmoReset::ReadyToRun(): Checking if we need to terminate VelmoLaunch ...",
		velmoLaunchWasRunning
			? "VelmoReset::ReadyToRun(): VelmoLaunch terminated."
			: "VelmoReset::ReadyToRun(): VelmoLaunch not running, no need to terminate it.",
		"Reset with mode = 0",
	};
}

std::vector<std::string>
InstallerLines()
{
	return {
		"Installer running (default mode = 0)",
		"",
		"Remove floppy   ",
		"Insert CD, ENTER",
		"",
		"",
		"Rebooting VELMO ",
		"  please wait   ",
		"",
		"Installer exiting",
	};
}

std::vector<std::string>
UserInterfaceLines(const std::string& portName, const std::string& modelLine)
{
	std::vector<std::string> lines = {"UserInterface running"};
	if (!portName.empty())
		lines.push_back("RB: Using serial port " + portName);
	if (!modelLine.empty())
		lines.push_back(modelLine);
	lines.push_back("UserInterface exiting");
	return lines;
}

size_t
CountStarting(const std::vector<std::string>& lines, const std::string& prefix)
{
	size_t count = 0;
	for (const std::string& line : lines)
		count += line.rfind(prefix, 0) == 0 ? 1 : 0;
	return count;
}

std::vector<std::string>
WithoutLinesStarting(const std::vector<std::string>& lines,
	const std::vector<std::string>& prefixes)
{
	std::vector<std::string> kept;
	for (const std::string& line : lines) {
		bool dropped = false;
		for (const std::string& prefix : prefixes)
			dropped = dropped || line.rfind(prefix, 0) == 0;
		if (!dropped)
			kept.push_back(line);
	}
	return kept;
}

std::vector<std::string>
WithoutSendErrors(const std::vector<std::string>& lines)
{
	return WithoutLinesStarting(lines, {kSendErrorPrefix, kSendRepeatsPrefix, kPortNoticePrefix});
}

size_t
SendFailuresTold(const std::vector<std::string>& lines)
{
	size_t told = CountStarting(lines, kSendErrorPrefix);
	for (const std::string& line : lines) {
		if (line.rfind(kSendRepeatsPrefix, 0) == 0)
			told += strtoul(line.c_str() + kSendRepeatsPrefix.size(), nullptr, 10);
	}
	return told;
}

namespace {

const std::string kPacketSizeLine = "Unknown packet size ";
const std::string kChecksumLine = "Invalid checksum";
const std::string kHeaderLine = "Unknown header type ";

bool StartsWith(const std::string& line, const std::string& prefix)
{
	return line.rfind(prefix, 0) == 0;
}

std::string Listing(const std::vector<std::string>& lines)
{
	std::string text;
	for (const std::string& line : lines)
		text += "  |" + line + "|\n";
	return text;
}

} // namespace

testing::AssertionResult
IsTranscriptOf(const std::vector<PrintedLine>& lines, const ResetTranscript& expected)
{
	std::vector<std::string> texts;
	for (const PrintedLine& line : lines)
		texts.push_back(line.text);
	std::vector<std::string> prefixes = expected.faultLines;
	if (expected.sendErrors)
		prefixes.insert(prefixes.end(), {kSendErrorPrefix, kSendRepeatsPrefix, kPortNoticePrefix});
	std::vector<PrintedLine> kept;
	for (const PrintedLine& line : lines) {
		if (WithoutLinesStarting({line.text}, prefixes).size() == 1)
			kept.push_back(line);
	}

	// The lines a stalled reply makes, each excused by a stall it can come from: the one whose
	// window closes first among those still open, two lines a stall.
	int modelAt = -1;
	for (size_t index = 0; index < kept.size() && !expected.modelLine.empty(); index++) {
		if (kept[index].text == expected.modelLine) {
			modelAt = (int)index;
			break;
		}
	}
	std::vector<int> excused(expected.unitStalls.size(), 0);
	std::vector<std::string> rest;
	size_t stallLines = 0;
	for (size_t index = 0; index < kept.size(); index++) {
		const PrintedLine& line = kept[index];
		const bool measuring = modelAt >= 0 && (int)index < modelAt;
		const bool afterStall = StartsWith(line.text, kChecksumLine)
			|| StartsWith(line.text, kHeaderLine)
			|| (measuring && StartsWith(line.text, kPacketSizeLine));
		if (!afterStall) {
			rest.push_back(line.text);
			continue;
		}
		int by = -1;
		for (size_t stall = 0; stall < expected.unitStalls.size(); stall++) {
			const UnitStall& span = expected.unitStalls[stall];
			if (excused[stall] < 2 && line.time >= span.from
				&& line.time <= span.to + kStallLineWindow
				&& (by < 0 || span.to < expected.unitStalls[by].to))
				by = (int)stall;
		}
		if (by < 0) {
			return testing::AssertionFailure()
				<< "\"" << line.text << "\" is not within " << kStallLineWindow.count()
				<< " ms after a stall of the unit with room for it (" << expected.unitStalls.size()
				<< " stalls, two lines each at most); printed:\n" << Listing(texts);
		}
		excused[by]++;
		stallLines++;
	}

	std::string why;
	if (!IsInterleavingOf(rest,
			{ApplicationLines(expected.velmoLaunchWasRunning), InstallerLines(),
				UserInterfaceLines(expected.portName, expected.modelLine)},
			&why)) {
		return testing::AssertionFailure()
			<< "besides " << stallLines << " lines allowed by " << expected.unitStalls.size()
			<< " stalls of the unit, " << why << "the whole output:\n" << Listing(texts);
	}
	return testing::AssertionSuccess();
}

} // namespace VelmoTest
