// RemoteBench in the field: the pass period and ENTER latency after the unit answered late, and
// behind a USB adapter's latency timer.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "RemoteShared.h"
#include "Statistics.h"
#include "support/ProgramRun.h"
#include "support/RemoteUnitRig.h"
#include "support/Transcript.h"
#include "unit-sim/UnitSimulator.h"

namespace RemoteBench {

namespace {

// The first poll the unit took after `time`; Clock::time_point() when none.
Clock::time_point FirstPollAfter(const UnitSim::UnitSimulator& unit, Clock::time_point time)
{
	for (Clock::time_point poll : unit.PollTimes()) {
		if (poll > time)
			return poll;
	}
	return Clock::time_point();
}

} // namespace

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

} // namespace RemoteBench
