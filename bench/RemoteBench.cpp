// The remote unit's link at the line's own speed: the real program, headless on a terminal of its
// own, against the simulated unit emulating 57600 bit/s. Two figures for each model:
// - the pass period, the time between two polls as the unit takes them while the question is
//   shown, beside the least the bytes of a pass allow (the 20 ms pause, then 10 bit times for each
//   of the 33 LCD bytes, the poll byte and the N reply bytes);
// - the latency of an ENTER on the unit, from the first reply carrying it going out to the
//   installer's announcement on the program's terminal and on the unit's LCD;
// - in the first runs of that, the reset line to the process's end with the unit still
//   answering: the remote-unit thread finishes its pass before it stops, so the pass bounds the
//   shut-down;
// - the same pass period and ENTER latency in the field: after the unit answered 10 polls 40 ms
//   late (measured 30 polls later, once the link is back in step), and with the unit behind a
//   USB adapter whose 16 ms latency timer hands its replies over in chunks.
// A table of the figures follows Google Benchmark's own report.

#include <signal.h>
#include <stdio.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "BenchFigures.h"
#include "Statistics.h"
#include "support/ProcessStats.h"
#include "support/ProgramRun.h"
#include "support/RemoteUnitRig.h"
#include "support/Transcript.h"
#include "unit-sim/UnitSimulator.h"

using namespace VelmoTest;
using namespace std::chrono_literals;

namespace {

using VelmoBench::Quantile;

const std::chrono::seconds kGenerous = 20s;
const int kBitRate = 57600;
// Polls measured for the pass period: some 8 s of asking.
const uint64_t kMeasuredPolls = 250;
const int kLatencyRuns = 20;
// Of those, the runs that wait the 3 s for the reset and time the exit.
const int kResetRuns = 5;
// A pass's pause between polls, in milliseconds.
const double kPassPauseMs = 20.0;
const size_t kLcdCommandBytes = 33;

// A pass this much shorter than the floor cannot have waited for its reply on the line.
const double kUnderFloorMs = 2.0;

// In the field: runs for each model and condition, each ending in one ENTER.
const int kFieldRuns = 10;
// The late replies of a run, and how late each is.
const int kLateReplies = 10;
const std::chrono::milliseconds kLateReplyDelay{40};
// A USB adapter's usual latency timer.
const std::chrono::milliseconds kAdapterTimer{16};
// Polls left after the last late reply before the measuring begins: the program waits for a unit
// it found late again within nine polls, and is back in step at the poll after.
const uint64_t kAfterLatePolls = 30;
// Behind the adapter, polls left to settle after the question is shown.
const uint64_t kAdapterSettlePolls = 50;
// Polls measured in each run before the ENTER.
const uint64_t kFieldMeasuredPolls = 40;

typedef std::chrono::duration<double, std::milli> Milliseconds;

double ByteMs()
{
	return 10.0 * 1000.0 / kBitRate;
}

double FloorMs(UnitSim::Model model)
{
	return kPassPauseMs + ByteMs() * (kLcdCommandBytes + 1 + UnitSim::ReplySize(model));
}

struct PassFigures
{
	double medianMs = NAN;
	double p95Ms = NAN;
	double floorMs = NAN;
	// The median of the passes that waited for their own reply.
	double ownReplyMedianMs = NAN;
	// Passes well under the floor: the poll read a reply that was already waiting, the one its
	// predecessor timed out on, instead of its own.
	size_t passesUnderFloor = 0;
	size_t passes = 0;
	// More than one: a read timed out inside a reply and the learnt length went down.
	size_t modelLines = 0;
	size_t rejectedReplies = 0;
};

struct LatencyFigures
{
	std::vector<double> terminalMs;
	std::vector<double> lcdMs;
	std::vector<double> resetToExitMs;
	size_t uncleanExits = 0;
};

PassFigures gPassFigures[2];
LatencyFigures gLatencyFigures[2];

enum FieldCondition
{
	kAfterLateReplies = 0,
	kBehindAdapter = 1,
};

// One model in one field condition, over all its runs.
struct FieldFigures
{
	// The passes measured, all runs together.
	std::vector<double> passMs;
	size_t passesUnderFloor = 0;
	std::vector<double> terminalMs;
	std::vector<double> lcdMs;
	size_t runs = 0;
	// Runs whose ENTER was announced before the unit's next poll: the poll that carried it read
	// it, the link in step.
	size_t keysReadInStep = 0;
	uint64_t polls = 0;
	size_t rejectedReplies = 0;
	uint64_t unitStalls = 0;
};

FieldFigures gFieldFigures[2][2];

UnitSim::Model ModelOf(const benchmark::State& state)
{
	return state.range(0) == 0 ? UnitSim::Model::Km3 : UnitSim::Model::Km3II;
}

UnitSim::Options WireOptions(UnitSim::Model model)
{
	UnitSim::Options options;
	options.model = model;
	options.wireTiming = true;
	options.bitRate = kBitRate;
	return options;
}

// Starts the unit, then the program, and waits until the unit shows the question and has been
// detected; false, with the reason given to `state`, when that does not happen.
bool StartAsking(RemoteUnitRig& rig, benchmark::State& state)
{
	std::string error;
	if (!rig.StartUnit(&error)) {
		state.SkipWithError(("the unit did not start: " + error).c_str());
		return false;
	}
	ProgramRun& program = rig.StartProgram();
	const std::string modelLine =
	    rig.unit.UnitModel() == UnitSim::Model::Km3 ? "Detected Classic KM-3" : "Detected KM-3II";
	if (!program.WaitForLine(modelLine, kGenerous) ||
	    !rig.unit.WaitForLcd(kPrompt1, kPrompt2, Clock::now() + kGenerous)) {
		state.SkipWithError("the program never asked on the unit");
		return false;
	}
	return true;
}

void Stop(ProgramRun& program)
{
	program.Signal(SIGTERM);
	program.WaitForExit(5s);
}

void PassPeriod(benchmark::State& state)
{
	const UnitSim::Model model = ModelOf(state);
	PassFigures& figures = gPassFigures[state.range(0)];
	figures.floorMs = FloorMs(model);
	for (auto _ : state) {
		RemoteUnitRig rig(WireOptions(model));
		if (!StartAsking(rig, state))
			break;
		const Clock::time_point asking = Clock::now();
		if (!rig.unit.WaitForPolls(rig.unit.PollCount() + kMeasuredPolls, Clock::now() + 60s)) {
			state.SkipWithError("the program stopped polling");
			break;
		}
		std::vector<Clock::time_point> polls = rig.unit.PollTimes();
		std::vector<double> periods;
		for (size_t index = 1; index < polls.size(); index++) {
			if (polls[index - 1] >= asking)
				periods.push_back(Milliseconds(polls[index] - polls[index - 1]).count());
		}
		ProgramRun& program = *rig.program;
		Stop(program);

		figures.medianMs = Quantile(periods, 0.5);
		figures.p95Ms = Quantile(periods, 0.95);
		figures.passes = periods.size();
		std::vector<double> ownReply;
		for (double period : periods) {
			if (period >= figures.floorMs - kUnderFloorMs)
				ownReply.push_back(period);
		}
		figures.passesUnderFloor = periods.size() - ownReply.size();
		figures.ownReplyMedianMs = Quantile(ownReply, 0.5);
		std::vector<std::string> lines = program.Texts();
		figures.modelLines =
		    CountStarting(lines, "Detected ") + CountStarting(lines, "Unknown packet size ");
		figures.rejectedReplies =
		    CountStarting(lines, "Unknown header type ") + CountStarting(lines, "Invalid checksum");
		state.SetIterationTime(figures.medianMs / 1000.0);
	}
	state.counters["median_ms"] = figures.medianMs;
	state.counters["p95_ms"] = figures.p95Ms;
	state.counters["floor_ms"] = figures.floorMs;
	state.counters["ratio"] = figures.medianMs / figures.floorMs;
	state.counters["own_reply_median_ms"] = figures.ownReplyMedianMs;
}

void EnterToAnnouncement(benchmark::State& state)
{
	const UnitSim::Model model = ModelOf(state);
	LatencyFigures& figures = gLatencyFigures[state.range(0)];
	// Presses fall at every phase of a pass.
	std::minstd_rand random(1234);
	std::uniform_int_distribution<int> phaseMicroseconds(0, 30000);
	int run = 0;
	for (auto _ : state) {
		RemoteUnitRig rig(WireOptions(model));
		if (!StartAsking(rig, state))
			break;
		ProgramRun& program = *rig.program;
		std::this_thread::sleep_for(std::chrono::microseconds(phaseMicroseconds(random)));
		rig.unit.PressKey(UnitSim::Key::Enter);
		if (!program.WaitForLine(kAnnounce2, kGenerous) ||
		    !rig.unit.WaitForLcd(kAnnounce1, kAnnounce2, Clock::now() + kGenerous)) {
			state.SkipWithError("ENTER on the unit was not announced");
			break;
		}
		Clock::time_point resetLine;
		Clock::time_point end;
		if (run++ < kResetRuns) {
			if (program.WaitForLine(kResetLine, kGenerous) &&
			    program.TimeOf(kResetLine, &resetLine) &&
			    WaitForProcessEnd(program.Pid(), kGenerous, &end) && program.WaitForExit(5s) &&
			    program.Exited() && program.ExitCode() == 0)
				figures.resetToExitMs.push_back(Milliseconds(end - resetLine).count());
			else
				figures.uncleanExits++;
		}
		// Elsewhere the reset would come 3 s later: not waited for.
		Stop(program);

		const Clock::time_point rise = rig.unit.KeyRiseTime(UnitSim::Key::Enter);
		Clock::time_point printed;
		program.TimeOf(kAnnounce2, &printed);
		Clock::time_point shown = Clock::time_point::max();
		for (const UnitSim::LcdFrame& frame : rig.unit.LcdFrames()) {
			if (frame.line1 == kAnnounce1 && frame.line2 == kAnnounce2) {
				shown = frame.time;
				break;
			}
		}
		double terminalMs = Milliseconds(printed - rise).count();
		figures.terminalMs.push_back(terminalMs);
		figures.lcdMs.push_back(Milliseconds(shown - rise).count());
		state.SetIterationTime(terminalMs / 1000.0);
	}
	state.counters["terminal_median_ms"] = Quantile(figures.terminalMs, 0.5);
	state.counters["terminal_p99_ms"] = Quantile(figures.terminalMs, 0.99);
	state.counters["lcd_median_ms"] = Quantile(figures.lcdMs, 0.5);
	state.counters["lcd_p99_ms"] = Quantile(figures.lcdMs, 0.99);
	state.counters["reset_exit_median_ms"] = Quantile(figures.resetToExitMs, 0.5);
}

// The first poll the unit took after `time`; Clock::time_point() when none.
Clock::time_point FirstPollAfter(const UnitSim::UnitSimulator& unit, Clock::time_point time)
{
	for (Clock::time_point poll : unit.PollTimes()) {
		if (poll > time)
			return poll;
	}
	return Clock::time_point();
}

// The pass period and ENTER latency as the unit fares in the field (range(1): FieldCondition).
void InTheField(benchmark::State& state)
{
	const UnitSim::Model model = ModelOf(state);
	const FieldCondition condition = FieldCondition(state.range(1));
	FieldFigures& figures = gFieldFigures[condition][state.range(0)];
	const double floorMs = FloorMs(model);
	std::minstd_rand random(4321);
	std::uniform_int_distribution<int> phaseMicroseconds(0, 30000);
	for (auto _ : state) {
		UnitSim::Options options = WireOptions(model);
		options.lateReplyDelay = kLateReplyDelay;
		if (condition == kBehindAdapter)
			options.latencyTimer = kAdapterTimer;
		RemoteUnitRig rig(options);
		if (!StartAsking(rig, state))
			break;
		ProgramRun& program = *rig.program;
		UnitSim::UnitSimulator& unit = rig.unit;

		if (condition == kAfterLateReplies) {
			unit.AnswerLate(kLateReplies);
			while (unit.LateRepliesToGo() > 0 &&
			       unit.WaitForPolls(unit.PollCount() + 1, Clock::now() + kGenerous)) {
			}
			unit.WaitForPolls(unit.PollCount() + kAfterLatePolls, Clock::now() + kGenerous);
		} else
			unit.WaitForPolls(unit.PollCount() + kAdapterSettlePolls, Clock::now() + kGenerous);
		const Clock::time_point measuredFrom = Clock::now();
		if (!unit.WaitForPolls(unit.PollCount() + kFieldMeasuredPolls, Clock::now() + kGenerous)) {
			state.SkipWithError("the program stopped polling");
			break;
		}
		const Clock::time_point measuredUntil = Clock::now();
		const std::vector<Clock::time_point> polls = unit.PollTimes();
		for (size_t index = 1; index < polls.size(); index++) {
			if (polls[index - 1] < measuredFrom || polls[index] > measuredUntil)
				continue;
			const double gap = Milliseconds(polls[index] - polls[index - 1]).count();
			figures.passMs.push_back(gap);
			if (gap < floorMs - kUnderFloorMs)
				figures.passesUnderFloor++;
		}

		std::this_thread::sleep_for(std::chrono::microseconds(phaseMicroseconds(random)));
		unit.PressKey(UnitSim::Key::Enter);
		if (!program.WaitForLine(kAnnounce2, kGenerous) ||
		    !unit.WaitForLcd(kAnnounce1, kAnnounce2, Clock::now() + kGenerous)) {
			state.SkipWithError("ENTER on the unit was not announced");
			break;
		}
		const Clock::time_point rise = unit.KeyRiseTime(UnitSim::Key::Enter);
		while (FirstPollAfter(unit, rise) == Clock::time_point() &&
		       unit.WaitForPolls(unit.PollCount() + 1, Clock::now() + kGenerous)) {
		}
		Stop(program);
		Clock::time_point printed;
		program.TimeOf(kAnnounce2, &printed);
		const Clock::time_point nextPoll = FirstPollAfter(unit, rise);
		if (nextPoll != Clock::time_point() && printed < nextPoll)
			figures.keysReadInStep++;
		Clock::time_point shown = Clock::time_point::max();
		for (const UnitSim::LcdFrame& frame : unit.LcdFrames()) {
			if (frame.line1 == kAnnounce1 && frame.line2 == kAnnounce2) {
				shown = frame.time;
				break;
			}
		}
		const double terminalMs = Milliseconds(printed - rise).count();
		figures.terminalMs.push_back(terminalMs);
		figures.lcdMs.push_back(Milliseconds(shown - rise).count());
		const std::vector<std::string> lines = program.Texts();
		figures.rejectedReplies +=
		    CountStarting(lines, "Unknown header type ") + CountStarting(lines, "Invalid checksum");
		figures.unitStalls += unit.StallCount();
		figures.polls += unit.PollCount();
		figures.runs++;
		state.SetIterationTime(terminalMs / 1000.0);
	}
	state.counters["pass_median_ms"] = Quantile(figures.passMs, 0.5);
	state.counters["floor_ms"] = floorMs;
	state.counters["terminal_median_ms"] = Quantile(figures.terminalMs, 0.5);
	state.counters["lcd_median_ms"] = Quantile(figures.lcdMs, 0.5);
}

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

} // namespace

BENCHMARK(PassPeriod)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(EnterToAnnouncement)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(kLatencyRuns);
BENCHMARK(InTheField)
    ->Args({0, kAfterLateReplies})
    ->Args({1, kAfterLateReplies})
    ->Args({0, kBehindAdapter})
    ->Args({1, kBehindAdapter})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(kFieldRuns);

int main(int argc, char** argv)
{
	benchmark::Initialize(&argc, argv);
	if (benchmark::ReportUnrecognizedArguments(argc, argv))
		return 1;
	benchmark::RunSpecifiedBenchmarks();
	benchmark::Shutdown();
	PrintTable();
	RecordFigures();
	return 0;
}
