// The whole program against a remote unit as it fares in the field: unplugged and plugged back
// under the same name, answering late now and then, behind a USB adapter's latency timer.

#include <stdio.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/Eventually.h"
#include "support/ProgramRun.h"
#include "support/RemoteUnitRig.h"
#include "support/Transcript.h"
#include "unit-sim/UnitSimulator.h"

using namespace VelmoTest;
using namespace std::chrono_literals;

namespace {

const std::chrono::seconds kGenerous = 20s;

Clock::time_point Deadline()
{
	return Clock::now() + kGenerous;
}

long long Milliseconds(Clock::duration duration)
{
	return (long long)std::chrono::duration_cast<std::chrono::milliseconds>(duration).count();
}

// The last poll the unit took at or before `time`; Clock::time_point() when none.
Clock::time_point LastPollUntil(const UnitSim::UnitSimulator& unit, Clock::time_point time)
{
	Clock::time_point last;
	for (Clock::time_point poll : unit.PollTimes()) {
		if (poll <= time)
			last = poll;
	}
	return last;
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

// When the unit's LCD first showed the announcement; Clock::time_point() when it did not.
Clock::time_point AnnouncementShown(const UnitSim::UnitSimulator& unit)
{
	for (const UnitSim::LcdFrame& frame : unit.LcdFrames()) {
		if (frame.line1 == kAnnounce1 && frame.line2 == kAnnounce2)
			return frame.time;
	}
	return Clock::time_point();
}

// A whole reset with the rig's unit, besides lines starting with `faultLines`.
void ExpectWholeReset(const RemoteUnitRig& rig, const std::vector<std::string>& faultLines = {},
                      bool portLost = false)
{
	ResetTranscript expected = rig.Transcript();
	expected.faultLines = faultLines;
	expected.sendErrors = portLost;
	EXPECT_TRUE(IsTranscriptOf(rig.program->Lines(), expected));
}

class UnitReseated : public testing::TestWithParam<UnitSim::Model>
{
};

TEST_P(UnitReseated, UnderTheSameNameIsPolledAgainShowsTheQuestionAndItsEnterResets)
{
	UnitSim::Options options;
	options.model = GetParam();
	RemoteUnitRig rig(options);
	std::string why;
	ASSERT_TRUE(rig.StartAndWaitForTheQuestion(kGenerous, &why)) << why;
	ProgramRun& program = *rig.program;

	// Its terminal closed and its link removed, as when the adapter is pulled out.
	rig.unit.Remove();
	const std::string gone = kPortNoticePrefix + "serial1 went away; opening it again every 0.5 s";
	ASSERT_TRUE(program.WaitForLine(gone, kGenerous)) << program.Output();
	const auto failed = [&] { return CountStarting(program.Texts(), kSendErrorPrefix) > 0; };
	ASSERT_TRUE(Eventually(failed, kGenerous)) << program.Output();

	const uint64_t framesBefore = rig.unit.LcdFrameCount();
	const Clock::time_point plugged = Clock::now();
	ASSERT_TRUE(rig.unit.PlugBack(&why)) << why;
	ASSERT_TRUE(rig.unit.WaitForLcdFrames(framesBefore + 1, Deadline())) << program.Output();
	// The poll follows the LCD text on the line, and is taken a little after it.
	ASSERT_TRUE(Eventually(
	    [&] { return FirstPollAfter(rig.unit, plugged) != Clock::time_point(); }, kGenerous))
	    << program.Output();
	const Clock::time_point firstPoll = FirstPollAfter(rig.unit, plugged);
	// The port is opened again at most half a second after its last try, and polls in the pass
	// after; the rest of the second is for a loaded machine.
	printf("first poll of the new unit %lld ms after it appeared\n",
	       Milliseconds(firstPoll - plugged));
	EXPECT_LT(firstPoll - plugged, 1s);
	ASSERT_TRUE(rig.unit.WaitForLcd(kPrompt1, kPrompt2, Deadline()));
	ASSERT_TRUE(program.WaitForLine(kPortNoticePrefix + "serial1 is back", kGenerous))
	    << program.Output();

	rig.unit.PressKey(UnitSim::Key::Enter);
	ASSERT_TRUE(rig.unit.WaitForLcd(kAnnounce1, kAnnounce2, Deadline())) << program.Output();
	ASSERT_TRUE(program.WaitForExit(kGenerous)) << program.Output();
	EXPECT_EQ(program.ExitCode(), 0);

	// Gone once and back once, in that order; the model was measured once, at the start. A
	// hang-up in the middle of a reply leaves a partial one, which fails the checksum once.
	const std::vector<std::string> lines = program.Texts();
	EXPECT_EQ(CountStarting(lines, kPortNoticePrefix), 2u) << program.Output();
	EXPECT_LT(IndexOf(lines, gone), IndexOf(lines, kPortNoticePrefix + "serial1 is back"));
	const std::vector<std::string> rest = WithoutSendErrors(lines);
	EXPECT_LE(CountStarting(rest, "Invalid checksum"), 1u);
	ExpectWholeReset(rig, {"Invalid checksum"}, true);
}

INSTANTIATE_TEST_SUITE_P(RemoteUnitInTheField, UnitReseated,
                         testing::Values(UnitSim::Model::Km3, UnitSim::Model::Km3II),
                         [](const testing::TestParamInfo<UnitSim::Model>& caseInfo) {
	                         return caseInfo.param == UnitSim::Model::Km3 ? std::string("Classic")
	                                                                      : std::string("Second");
                         });

class LateReplies : public testing::TestWithParam<int>
{
};

TEST_P(LateReplies, LeaveTheLinkInStepSoThatEnterIsAnnouncedInThePassThatReadIt)
{
	UnitSim::Options options;
	options.wireTiming = true;
	options.lateReplyDelay = 40ms;
	RemoteUnitRig rig(options);
	std::string why;
	ASSERT_TRUE(rig.StartAndWaitForTheQuestion(kGenerous, &why)) << why;
	ProgramRun& program = *rig.program;

	rig.unit.AnswerLate(GetParam());
	ASSERT_TRUE(Eventually([&] { return rig.unit.LateRepliesToGo() == 0; }, kGenerous));
	// The last late reply goes out 40 ms after its poll; a unit found late is waited for again
	// within nine polls. Thirty leave room for both.
	ASSERT_TRUE(rig.unit.WaitForPolls(rig.unit.PollCount() + 30, Deadline()));

	rig.unit.PressKey(UnitSim::Key::Enter);
	ASSERT_TRUE(rig.unit.WaitForLcd(kAnnounce1, kAnnounce2, Deadline())) << program.Output();
	// In step, the poll whose reply carried ENTER read it: the announcement is on the LCD before
	// the next poll. A reply behind, that poll would only then read it, and the LCD would show
	// the announcement a pass later. The installer has the remote-unit thread's 20 ms pause to
	// publish the lines. But a unit whose own thread sent that reply late (a loaded machine; seen
	// here 11 ms after its poll) may have missed the read time-out, and the protocol has the next
	// poll read it: then the announcement may come a pass later.
	const Clock::time_point rose = rig.unit.KeyRiseTime(UnitSim::Key::Enter);
	ASSERT_NE(rose, Clock::time_point());
	ASSERT_TRUE(Eventually([&] { return FirstPollAfter(rig.unit, rose) != Clock::time_point(); },
	                       kGenerous));
	const Clock::time_point stale = rose - LastPollUntil(rig.unit, rose) >= 5ms
	                                    ? FirstPollAfter(rig.unit, rose)
	                                    : rose;
	ASSERT_TRUE(Eventually(
	    [&] { return FirstPollAfter(rig.unit, stale) != Clock::time_point(); }, kGenerous));
	const Clock::time_point nextPoll = FirstPollAfter(rig.unit, stale);
	const Clock::time_point shown = AnnouncementShown(rig.unit);
	ASSERT_NE(shown, Clock::time_point());
	printf("ENTER rose %lld ms after its poll; announcement on the LCD %lld ms later, next poll "
	       "%lld ms later\n",
	       Milliseconds(rose - LastPollUntil(rig.unit, rose)), Milliseconds(shown - rose),
	       Milliseconds(FirstPollAfter(rig.unit, rose) - rose));
	EXPECT_LT(shown, nextPoll);

	ASSERT_TRUE(program.WaitForExit(kGenerous)) << program.Output();
	EXPECT_EQ(program.ExitCode(), 0);
	// Late replies are no faults of the reply: nothing is reported.
	ExpectWholeReset(rig);
}

INSTANTIATE_TEST_SUITE_P(RemoteUnitInTheField, LateReplies, testing::Values(1, 3, 10));

class BehindALatencyTimer : public testing::TestWithParam<UnitSim::Model>
{
};

TEST_P(BehindALatencyTimer, UnitIsDetectedAndItsEnterTaken)
{
	UnitSim::Options options;
	options.model = GetParam();
	options.wireTiming = true;
	options.latencyTimer = 16ms;
	RemoteUnitRig rig(options);
	std::string why;
	ASSERT_TRUE(rig.StartAndWaitForTheQuestion(kGenerous, &why)) << why;
	ProgramRun& program = *rig.program;
	ASSERT_TRUE(rig.unit.WaitForPolls(rig.unit.PollCount() + 50, Deadline()));

	rig.unit.PressKey(UnitSim::Key::Enter);
	ASSERT_TRUE(rig.unit.WaitForLcd(kAnnounce1, kAnnounce2, Deadline())) << program.Output();
	ASSERT_TRUE(program.WaitForExit(kGenerous)) << program.Output();
	EXPECT_EQ(program.ExitCode(), 0);

	// A reply the timer splits across a tick is waited for until its rest comes, and a reply that
	// came after the read time-out while the length was measured is measured on its own: nothing
	// is rejected, unless the unit's side of the line was itself late.
	ExpectWholeReset(rig);
}

INSTANTIATE_TEST_SUITE_P(RemoteUnitInTheField, BehindALatencyTimer,
                         testing::Values(UnitSim::Model::Km3, UnitSim::Model::Km3II),
                         [](const testing::TestParamInfo<UnitSim::Model>& caseInfo) {
	                         return caseInfo.param == UnitSim::Model::Km3 ? std::string("Classic")
	                                                                      : std::string("Second");
                         });

} // namespace
