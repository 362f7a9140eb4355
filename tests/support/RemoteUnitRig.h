#pragma once

// Header only: it needs the simulated unit, which the test and benchmark executables link but the
// support library does not.

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "support/HeadlessProgram.h"
#include "support/ProgramRun.h"
#include "support/TempDirectory.h"
#include "support/Transcript.h"
#include "unit-sim/UnitSimulator.h"

namespace VelmoTest {

// The whole program against a simulated remote unit: a fresh platform root, the unit linked into
// its dev/ports under `portName`, and the program, started only once the unit is there (the
// program looks for ports once, at start). Members are public: tests drive the unit and read the
// program directly. The test's thread alone uses the rig; the unit and the run are thread-safe.
class RemoteUnitRig
{
public:
	explicit RemoteUnitRig(UnitSim::Options options = UnitSim::Options(),
	                       const std::string& portName = "serial1")
	    : unit(root.Path(), portName, Probing(options)), fPortName(portName)
	{
	}

	// Starts the unit; false with the reason in `error`.
	bool StartUnit(std::string* error) { return unit.Start(error); }

	ProgramRun& StartProgram() { return StartProgram(HeadlessOptions(root)); }

	ProgramRun& StartProgram(const ProgramRun::Options& options)
	{
		program = std::make_unique<ProgramRun>(VelmoResetPath(), options);
		return *program;
	}

	// Starts the unit and the program, and waits until the program has detected the unit and
	// both show the question: from then on the unit's keys count. False, with what went wrong
	// in `why`, when something failed or `timeout` passed first.
	bool StartAndWaitForTheQuestion(std::chrono::milliseconds timeout, std::string* why)
	{
		if (!StartUnit(why))
			return false;
		StartProgram();
		if (!program->WaitForLine(ModelLine(), timeout) ||
		    !program->WaitForLine(kPrompt2, timeout) ||
		    !unit.WaitForLcd(kPrompt1, kPrompt2, UnitSim::Clock::now() + timeout)) {
			*why = "no question on both faces; the program printed:\n" + program->Output();
			return false;
		}
		return true;
	}

	// The line the program prints once it has detected the unit's model.
	std::string ModelLine() const
	{
		return unit.UnitModel() == UnitSim::Model::Km3 ? kClassicLine : "Detected KM-3II";
	}

	// What a whole reset with this rig prints: the port named, the unit's model measured, and
	// what the unit's stalls so far allow. Ask once the program has ended.
	ResetTranscript Transcript() const
	{
		ResetTranscript expected;
		expected.portName = fPortName;
		expected.modelLine = ModelLine();
		for (const UnitSim::Stall& stall : unit.StallTimes())
			expected.unitStalls.push_back({stall.from, stall.to});
		return expected;
	}

	// Declared in this order so that the program goes first, then the unit, then the root.
	PlatformRootDirectory root;
	UnitSim::UnitSimulator unit;
	std::unique_ptr<ProgramRun> program;

private:
	// Tests judge the program by when the unit's bytes came: the line's own delays count too.
	static UnitSim::Options Probing(UnitSim::Options options)
	{
		options.probeLine = true;
		return options;
	}

	const std::string fPortName;
};

// The median gap between the unit's polls, of those from `from` on: the program's pass period as
// the unit sees it. Zero when there are not two such polls.
inline Clock::duration MedianPollGap(const UnitSim::UnitSimulator& unit, Clock::time_point from)
{
	const std::vector<Clock::time_point> times = unit.PollTimes();
	std::vector<Clock::duration> gaps;
	for (size_t index = 1; index < times.size(); index++) {
		if (times[index - 1] >= from)
			gaps.push_back(times[index] - times[index - 1]);
	}
	if (gaps.empty())
		return Clock::duration::zero();
	std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
	return gaps[gaps.size() / 2];
}

// The gaps between the unit's polls from `from` on, leaving out every gap that began fewer than
// `settlePolls` polls after a stall of the unit's thread (or during one): the program's pass as
// the line alone sets it, once it has caught up with what the stall did to the line.
inline std::vector<Clock::duration> PollGapsClearOfStalls(const UnitSim::UnitSimulator& unit,
                                                          Clock::time_point from,
                                                          size_t settlePolls)
{
	const std::vector<Clock::time_point> times = unit.PollTimes();
	const std::vector<UnitSim::Stall> stalls = unit.StallTimes();
	std::vector<Clock::duration> gaps;
	for (size_t index = 1; index < times.size(); index++) {
		if (times[index - 1] < from)
			continue;
		const Clock::time_point settledFrom = times[index > settlePolls ? index - 1 - settlePolls : 0];
		const bool nearStall =
		    std::any_of(stalls.begin(), stalls.end(), [&](const UnitSim::Stall& stall) {
			    return stall.to >= settledFrom && stall.from <= times[index];
		    });
		if (!nearStall)
			gaps.push_back(times[index] - times[index - 1]);
	}
	return gaps;
}

} // namespace VelmoTest
