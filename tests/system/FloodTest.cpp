// Keys by the hundred from both faces at once, while asking and while announcing: nothing stalls,
// nothing but one ENTER counts, and the program still ends on time, three seconds and at most two
// passes of the remote-unit thread after the announcement.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/ProgramRun.h"
#include "support/RemoteUnitRig.h"
#include "support/Transcript.h"
#include "unit-sim/UnitSimulator.h"

using namespace VelmoTest;
using namespace std::chrono_literals;

namespace {

const std::chrono::seconds kGenerous = 30s;
// Scheduling slack on a loaded machine (and under the sanitizers) on top of what the timing
// itself allows.
const std::chrono::milliseconds kSlack = 700ms;

// Keys that are not ENTER, as a terminal sends them: letters, the backslash, a tab, arrows in
// both escape forms, Home and a function key.
const std::vector<std::string> kOtherKeys = {"a",      "\\",       "\t", "\x1b[A", "\x1bOB",
                                             "\x1b[H", "\x1b[15~", "Z",  " ",      "\x7f"};

// `count` keys from kOtherKeys, typed in bursts of 25 as a held-down key repeats.
void TypeOtherKeys(ProgramRun& program, int count)
{
	std::string burst;
	for (int index = 0; index < count; index++) {
		burst += kOtherKeys[size_t(index) % kOtherKeys.size()];
		if (burst.size() >= 25 || index == count - 1) {
			program.Type(burst);
			burst.clear();
		}
	}
}

// Presses `key` on the unit `count` times as fast as the polls allow: down in one reply, up in
// the next. Stops early when `stop` is set or the unit is no longer polled.
void PressRepeatedly(UnitSim::UnitSimulator& unit, UnitSim::Key key, int count,
                     const std::atomic<bool>& stop)
{
	for (int press = 0; press < count && !stop; press++) {
		unit.HoldKey(key, true);
		if (!unit.WaitForPolls(unit.PollCount() + 1, Clock::now() + 5s))
			break;
		unit.HoldKey(key, false);
		if (!unit.WaitForPolls(unit.PollCount() + 1, Clock::now() + 5s))
			break;
	}
	unit.HoldKey(key, false);
}

// The longest gap between the unit's polls in [from, to].
Clock::duration LongestPollGap(const UnitSim::UnitSimulator& unit, Clock::time_point from,
                               Clock::time_point to)
{
	std::vector<Clock::time_point> times = unit.PollTimes();
	Clock::duration longest{0};
	for (size_t index = 1; index < times.size(); index++) {
		if (times[index - 1] >= from && times[index] <= to)
			longest = std::max(longest, times[index] - times[index - 1]);
	}
	return longest;
}

long long Milliseconds(Clock::duration duration)
{
	return std::chrono::duration_cast<std::chrono::milliseconds>(duration).count();
}

TEST(Floods, HundredsOfKeysFromBothFacesStallNothingAndTheProgramEndsOnTime)
{
	UnitSim::Options options;
	options.wireTiming = true;
	RemoteUnitRig rig(options);
	std::string why;
	ASSERT_TRUE(rig.StartAndWaitForTheQuestion(kGenerous, &why)) << why;
	ProgramRun& program = *rig.program;

	// Asking: 200 backslash presses on the unit while 500 other keys come from the keyboard.
	const Clock::time_point askingFlood = Clock::now();
	std::atomic<bool> stop{false};
	std::thread presses([&] { PressRepeatedly(rig.unit, UnitSim::Key::Backslash, 200, stop); });
	TypeOtherKeys(program, 500);
	presses.join();
	const Clock::time_point askingFloodEnd = Clock::now();
	ASSERT_TRUE(rig.unit.WaitForPolls(rig.unit.PollCount() + 5, Clock::now() + kGenerous));
	EXPECT_EQ(IndexOf(program.Texts(), kAnnounce1), -1) << program.Output();
	EXPECT_EQ(rig.unit.LcdLines(), std::make_pair(kPrompt1, kPrompt2));
	const Clock::duration pass = MedianPollGap(rig.unit, askingFlood);
	EXPECT_LT(LongestPollGap(rig.unit, askingFlood, askingFloodEnd), 10 * pass + kSlack)
	    << "the remote-unit thread stalled";

	// The keyboard's ENTER; a press or two may find the key queue still full of the flood.
	bool announced = false;
	for (int attempt = 0; attempt < 50 && !announced; attempt++) {
		program.Type("\r");
		announced = program.WaitForLine(kAnnounce2, 500ms);
	}
	ASSERT_TRUE(announced) << program.Output();
	Clock::time_point announcedAt;
	ASSERT_TRUE(program.TimeOf(kAnnounce2, &announcedAt));

	// Announcing: both ENTER and the backslash on the unit, and the keyboard again, ENTER among
	// its keys, until the program ends.
	std::thread unitFlood([&] {
		for (int round = 0; round < 100 && !stop; round++) {
			PressRepeatedly(
			    rig.unit, round % 2 == 0 ? UnitSim::Key::Enter : UnitSim::Key::Backslash, 1, stop);
		}
	});
	for (int burst = 0; burst < 20 && !program.WaitForLine(kResetLine, 0ms); burst++) {
		TypeOtherKeys(program, 24);
		program.Type("\r");
	}
	const bool ended = program.WaitForExit(kGenerous);
	const Clock::time_point endedAt = Clock::now();
	stop = true;
	unitFlood.join();
	ASSERT_TRUE(ended) << program.Output();
	EXPECT_EQ(program.ExitCode(), 0);

	// The flood loads the machine, and the simulated unit's thread may stall in the middle of a
	// reply for longer than the read time-out: the lines of such a reply, and nothing else, may
	// come between those of the reset.
	EXPECT_TRUE(IsTranscriptOf(program.Lines(), rig.Transcript()));
	Clock::time_point resetAt;
	ASSERT_TRUE(program.TimeOf(kResetLine, &resetAt));
	EXPECT_GE(resetAt - announcedAt, 2900ms) << Milliseconds(resetAt - announcedAt) << " ms";
	EXPECT_LE(endedAt - announcedAt, 3s + 2 * pass + kSlack)
	    << Milliseconds(endedAt - announcedAt) << " ms from the announcement to the end, "
	    << "pass " << Milliseconds(pass) << " ms";
}

} // namespace
