// RemoteBench's report: its own tables after Google Benchmark's, and the figures it records for
// the table of `make bench`.

#include <stdio.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "BenchFigures.h"
#include "RemoteShared.h"
#include "Statistics.h"

namespace RemoteBench {

void PrintTable()
{
	const char* names[2] = {"Classic KM-3", "KM-3II"};
	printf("\nRemote unit at %d bit/s (10 bit times = %.3f ms a byte)\n\n", kBitRate, ByteMs());
	printf("Pass period while asking, as the unit sees the polls\n");
	printf("%-13s %5s %8s %8s %8s %7s %11s %7s %13s %7s %9s\n", "model", "reply", "floor ms",
	       "median", "p95", "ratio", "under floor", "own", "own-reply med", "ratio", "detected");
	for (int index = 0; index < 2; index++) {
		const PassFigures& figures = gPassFigures[index];
		UnitSim::Model model = index == 0 ? UnitSim::Model::Km3 : UnitSim::Model::Km3II;
		printf("%-13s %5zu %8.2f %8.2f %8.2f %7.3f %5zu/%-5zu %7zu %13.2f %7.3f %9zu\n",
		       names[index], UnitSim::ReplySize(model), figures.floorMs, figures.medianMs,
		       figures.p95Ms, figures.medianMs / figures.floorMs, figures.passesUnderFloor,
		       figures.passes, figures.passes - figures.passesUnderFloor, figures.ownReplyMedianMs,
		       figures.ownReplyMedianMs / figures.floorMs, figures.modelLines);
		if (figures.rejectedReplies > 0)
			printf("%-13s %zu replies rejected\n", "", figures.rejectedReplies);
	}
	printf("(under floor: passes more than %.0f ms shorter than the floor, which read the reply\n"
	       " their predecessor timed out on; detected: model lines printed, more than 1 when a\n"
	       " read timed out inside a reply and the learnt length went down)\n",
	       kUnderFloorMs);
	printf("\nENTER on the unit to the announcement (from the first reply carrying it)\n");
	printf("%-13s %5s %17s %14s %13s %10s\n", "model", "runs", "terminal median", "terminal p99",
	       "LCD median", "LCD p99");
	for (int index = 0; index < 2; index++) {
		const LatencyFigures& figures = gLatencyFigures[index];
		printf("%-13s %5zu %14.2f ms %11.2f ms %10.2f ms %7.2f ms\n", names[index],
		       figures.terminalMs.size(), Quantile(figures.terminalMs, 0.5),
		       Quantile(figures.terminalMs, 0.99), Quantile(figures.lcdMs, 0.5),
		       Quantile(figures.lcdMs, 0.99));
	}
	printf("\nReset line to the process's end, the unit answering\n");
	printf("%-13s %5s %10s %10s %14s\n", "model", "runs", "median", "max", "unclean exits");
	for (int index = 0; index < 2; index++) {
		const LatencyFigures& figures = gLatencyFigures[index];
		printf("%-13s %5zu %7.2f ms %7.2f ms %14zu\n", names[index], figures.resetToExitMs.size(),
		       Quantile(figures.resetToExitMs, 0.5), Quantile(figures.resetToExitMs, 1.0),
		       figures.uncleanExits);
	}
	const char* conditions[2] = {"after 10 replies 40 ms late", "behind a 16 ms latency timer"};
	for (int condition = 0; condition < 2; condition++) {
		printf("\nIn the field, %s: %d runs, passes measured over %d polls a run\n",
		       conditions[condition], kFieldRuns, int(kFieldMeasuredPolls));
		printf("%-13s %8s %8s %8s %11s %14s %14s %8s %9s %7s\n", "model", "floor ms", "pass med",
		       "p95", "under floor", "terminal ms", "LCD ms", "in step", "rejected", "stalls");
		for (int index = 0; index < 2; index++) {
			const FieldFigures& figures = gFieldFigures[condition][index];
			UnitSim::Model model = index == 0 ? UnitSim::Model::Km3 : UnitSim::Model::Km3II;
			printf("%-13s %8.2f %8.2f %8.2f %5zu/%-5zu %8.2f/%-5.1f %8.2f/%-5.1f %3zu/%-4zu "
			       "%4zu/%-5llu %6llu\n",
			       names[index], FloorMs(model), Quantile(figures.passMs, 0.5),
			       Quantile(figures.passMs, 0.95), figures.passesUnderFloor, figures.passMs.size(),
			       Quantile(figures.terminalMs, 0.5), Quantile(figures.terminalMs, 1.0),
			       Quantile(figures.lcdMs, 0.5), Quantile(figures.lcdMs, 1.0),
			       figures.keysReadInStep, figures.runs, figures.rejectedReplies,
			       (unsigned long long)figures.polls, (unsigned long long)figures.unitStalls);
		}
	}
	printf("(terminal, LCD: ENTER to the announcement, median/max; in step: runs whose ENTER was\n"
	       " announced before the next poll, read by the poll that carried it; rejected: replies\n"
	       " rejected of all polls of the runs; stalls: replies the simulated unit sent late\n"
	       " because its own thread was kept waiting, or found unread past the read time-out)\n\n");
}

void RecordFigures()
{
	const char* keys[2] = {"remote.km3", "remote.km3ii"};
	for (int index = 0; index < 2; index++) {
		const std::string key = keys[index];
		const PassFigures& pass = gPassFigures[index];
		const LatencyFigures& latency = gLatencyFigures[index];
		VelmoBench::RecordFigure(key + ".pass_median_ms", pass.medianMs);
		// The floor is the line's, whichever benchmarks ran.
		VelmoBench::RecordFigure(key + ".floor_ms",
		                         FloorMs(index == 0 ? UnitSim::Model::Km3 : UnitSim::Model::Km3II));
		if (pass.passes > 0) {
			VelmoBench::RecordFigure(key + ".passes", double(pass.passes));
			VelmoBench::RecordFigure(key + ".passes_under_floor", double(pass.passesUnderFloor));
		}
		VelmoBench::RecordFigure(key + ".key_terminal_median_ms",
		                         Quantile(latency.terminalMs, 0.5));
		VelmoBench::RecordFigure(key + ".key_terminal_p99_ms", Quantile(latency.terminalMs, 0.99));
		VelmoBench::RecordFigure(key + ".key_lcd_median_ms", Quantile(latency.lcdMs, 0.5));
		VelmoBench::RecordFigure(key + ".key_lcd_p99_ms", Quantile(latency.lcdMs, 0.99));
		VelmoBench::RecordFigure(key + ".reset_exit_median_ms",
		                         Quantile(latency.resetToExitMs, 0.5));
		VelmoBench::RecordFigure(key + ".reset_exit_max_ms", Quantile(latency.resetToExitMs, 1.0));
		const char* conditions[2] = {".late", ".adapter"};
		for (int condition = 0; condition < 2; condition++) {
			const std::string prefix = key + conditions[condition];
			const FieldFigures& field = gFieldFigures[condition][index];
			if (field.runs == 0)
				continue;
			VelmoBench::RecordFigure(prefix + ".pass_median_ms", Quantile(field.passMs, 0.5));
			VelmoBench::RecordFigure(prefix + ".passes", double(field.passMs.size()));
			VelmoBench::RecordFigure(prefix + ".passes_under_floor",
			                         double(field.passesUnderFloor));
			VelmoBench::RecordFigure(prefix + ".key_terminal_median_ms",
			                         Quantile(field.terminalMs, 0.5));
			VelmoBench::RecordFigure(prefix + ".key_terminal_max_ms",
			                         Quantile(field.terminalMs, 1.0));
			VelmoBench::RecordFigure(prefix + ".key_lcd_median_ms", Quantile(field.lcdMs, 0.5));
			VelmoBench::RecordFigure(prefix + ".key_lcd_max_ms", Quantile(field.lcdMs, 1.0));
			VelmoBench::RecordFigure(prefix + ".runs", double(field.runs));
			VelmoBench::RecordFigure(prefix + ".keys_read_in_step", double(field.keysReadInStep));
			VelmoBench::RecordFigure(prefix + ".polls", double(field.polls));
			VelmoBench::RecordFigure(prefix + ".rejected_replies", double(field.rejectedReplies));
			VelmoBench::RecordFigure(prefix + ".unit_stalls", double(field.unitStalls));
		}
	}
}

} // namespace RemoteBench
