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
//
// The parts: RemoteShared.h (what they share), RemoteField.cpp (in the field), RemoteReport.cpp
// (the tables and figures).

#include <signal.h>
#include <stdio.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "BenchFigures.h"
#include "RemoteShared.h"
#include "Statistics.h"
#include "support/ProcessStats.h"
#include "support/ProgramRun.h"
#include "support/RemoteUnitRig.h"
#include "support/Transcript.h"
#include "unit-sim/UnitSimulator.h"

namespace RemoteBench {

PassFigures gPassFigures[2];
LatencyFigures gLatencyFigures[2];
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

namespace {

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

} // namespace

} // namespace RemoteBench

using namespace RemoteBench;

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
