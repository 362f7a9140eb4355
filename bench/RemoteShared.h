#pragma once

// What the parts of RemoteBench share: the line, the runs, and the figures each benchmark keeps
// for the report.

#include <stddef.h>
#include <stdint.h>

#include <chrono>
#include <cmath>
#include <vector>

#include <benchmark/benchmark.h>

#include "Statistics.h"
#include "support/ProgramRun.h"
#include "support/RemoteUnitRig.h"
#include "unit-sim/UnitSimulator.h"

namespace RemoteBench {

using namespace VelmoTest;
using namespace std::chrono_literals;

using VelmoBench::Quantile;

inline constexpr std::chrono::seconds kGenerous = 20s;
inline constexpr int kBitRate = 57600;
// Polls measured for the pass period: some 8 s of asking.
inline constexpr uint64_t kMeasuredPolls = 250;
inline constexpr int kLatencyRuns = 20;
// Of those, the runs that wait the 3 s for the reset and time the exit.
inline constexpr int kResetRuns = 5;
// A pass's pause between polls, in milliseconds.
inline constexpr double kPassPauseMs = 20.0;
inline constexpr size_t kLcdCommandBytes = 33;

// A pass this much shorter than the floor cannot have waited for its reply on the line.
inline constexpr double kUnderFloorMs = 2.0;

// In the field: runs for each model and condition, each ending in one ENTER.
inline constexpr int kFieldRuns = 10;
// The late replies of a run, and how late each is.
inline constexpr int kLateReplies = 10;
inline constexpr std::chrono::milliseconds kLateReplyDelay{40};
// A USB adapter's usual latency timer.
inline constexpr std::chrono::milliseconds kAdapterTimer{16};
// Polls left after the last late reply before the measuring begins: the program waits for a unit
// it found late again within nine polls, and is back in step at the poll after.
inline constexpr uint64_t kAfterLatePolls = 30;
// Behind the adapter, polls left to settle after the question is shown.
inline constexpr uint64_t kAdapterSettlePolls = 50;
// Polls measured in each run before the ENTER.
inline constexpr uint64_t kFieldMeasuredPolls = 40;

typedef std::chrono::duration<double, std::milli> Milliseconds;

inline double ByteMs()
{
	return 10.0 * 1000.0 / kBitRate;
}

inline double FloorMs(UnitSim::Model model)
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

extern PassFigures gPassFigures[2];
extern LatencyFigures gLatencyFigures[2];

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


extern FieldFigures gFieldFigures[2][2];

UnitSim::Model ModelOf(const benchmark::State& state);
UnitSim::Options WireOptions(UnitSim::Model model);
// Starts the unit, then the program, and waits until the unit shows the question and has been
// detected; false, with the reason given to `state`, when that does not happen.
bool StartAsking(RemoteUnitRig& rig, benchmark::State& state);
void Stop(ProgramRun& program);

// RemoteField.cpp: the pass period and ENTER latency as the unit fares in the field
// (range(1): FieldCondition).
void InTheField(benchmark::State& state);
// RemoteReport.cpp: the tables after Google Benchmark's report, and the figures for the table of
// `make bench`.
void PrintTable();
void RecordFigures();

} // namespace RemoteBench
