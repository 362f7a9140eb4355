// The table ScreenBench prints at its end, and its notes.

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "BenchFigures.h"
#include "ScreenShared.h"

namespace ScreenBench {

namespace {

struct Row
{
	std::string figure;
	std::string value;
	std::string aim;
	const char* verdict; // "met", "MISSED" or ""
};

std::vector<Row> sRows;
std::vector<std::string> sNotes;

} // namespace

std::string Fixed(double value, int decimals, const char* unit)
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

void AddNote(const std::string& note)
{
	sNotes.push_back(note);
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

void AddRatioRow(const std::string& figure, const std::string& name, double larger, double smaller,
                 int decimals, const char* unit, bool judged, double resolution)
{
	if (std::isnan(larger) || std::isnan(smaller) || smaller <= 0) {
		AddFailure(figure, "not measured on both screens");
		return;
	}
	const double ratio = larger / smaller;
	AddRow(figure,
	       Fixed(ratio, 3, " x") + " (" + Fixed(larger, decimals, unit) + " / " +
	           Fixed(smaller, decimals, unit) + ")",
	       judged ? "<= 1.05 x" : "",
	       !judged                                                          ? ""
	       : ratio <= kLargerScreenAim || larger - smaller <= resolution ? "met"
	                                                                     : "MISSED");
	VelmoBench::RecordFigure(name, ratio);
}

bool AnyFailed()
{
	for (const Row& row : sRows) {
		if (strcmp(row.verdict, "FAILED") == 0)
			return true;
	}
	return false;
}

} // namespace ScreenBench
