// SIGINT, SIGTERM and SIGHUP at random moments of each phase of a run, with the remote unit
// attached: the program always ends within a second, by the signal or, late in the shut-down,
// by its own exit; it leaves the terminal as it found it, reports no crash and leaves no process.

#include <signal.h>
#include <stdio.h>
#include <sys/wait.h>
#include <termios.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/ProcessCensus.h"
#include "support/ProgramRun.h"
#include "support/RemoteUnitRig.h"
#include "support/Transcript.h"
#include "unit-sim/UnitSimulator.h"

using namespace VelmoTest;
using namespace std::chrono_literals;

namespace {

const std::chrono::seconds kGenerous = 20s;
const std::chrono::seconds kEndsWithin = 1s;

enum class Phase
{
	Starting,     // from the start until the question is printed
	Asking,       // the question is shown on both faces
	Announcing,   // ENTER was taken: the three seconds of the announcement
	ShuttingDown, // around the reset line, to the exit
};

std::string PhaseName(Phase phase)
{
	switch (phase) {
	case Phase::Starting:
		return "Starting";
	case Phase::Asking:
		return "Asking";
	case Phase::Announcing:
		return "Announcing";
	case Phase::ShuttingDown:
		return "ShuttingDown";
	}
	return "?";
}

// The shut-down takes a few milliseconds, over before its first line could be read and answered
// with a signal: its signals are aimed by the clock instead, from this long after the
// announcement, when the reset is due.
const std::chrono::milliseconds kShutDownAim = 2995ms;

// How long after the phase began the signal may come.
std::chrono::microseconds PhaseLength(Phase phase)
{
	switch (phase) {
	case Phase::Starting:
		return 60ms;
	case Phase::Asking:
		return 300ms;
	case Phase::Announcing:
		return 2950ms;
	case Phase::ShuttingDown:
		return 20ms;
	}
	return 0ms;
}

// The runs of each phase; 50 in all over the four.
int RunsOf(Phase phase)
{
	return phase == Phase::Starting || phase == Phase::Asking ? 13 : 12;
}

// The moments are random, but the same from run to run of the test unless VELMO_TEST_SEED says
// otherwise, so that a failure can be looked at again.
unsigned Seed(Phase phase)
{
	const char* text = getenv("VELMO_TEST_SEED");
	const unsigned base = text != nullptr ? unsigned(strtoul(text, nullptr, 10)) : 20261208u;
	return base + unsigned(phase);
}

bool SameTerminalMode(const struct termios& a, const struct termios& b)
{
	return a.c_lflag == b.c_lflag && a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag &&
	       a.c_cflag == b.c_cflag;
}

std::string ModeFlags(const struct termios& mode)
{
	char text[96];
	snprintf(text, sizeof(text), "lflag %#x iflag %#x oflag %#x cflag %#x", unsigned(mode.c_lflag),
	         unsigned(mode.c_iflag), unsigned(mode.c_oflag), unsigned(mode.c_cflag));
	return text;
}

// Waits for the phase to begin, pressing ENTER (on the keyboard or on the unit) where the phase
// needs it, and sets `begun` to the moment the signal's delay counts from. False when the phase
// did not begin.
bool WaitForPhase(RemoteUnitRig& rig, Phase phase, bool enterOnTheUnit, Clock::time_point* begun)
{
	ProgramRun& program = *rig.program;
	*begun = Clock::now();
	if (phase == Phase::Starting)
		return true;
	if (!program.WaitForLine(kPrompt2, kGenerous))
		return false;
	*begun = Clock::now();
	if (phase == Phase::Asking)
		return true;
	if (enterOnTheUnit) {
		if (!program.WaitForLine(kClassicLine, kGenerous))
			return false;
		rig.unit.PressKey(UnitSim::Key::Enter);
	} else {
		program.Type("\r");
	}
	if (!program.WaitForLine(kAnnounce2, kGenerous) || !program.TimeOf(kAnnounce2, begun))
		return false;
	if (phase == Phase::ShuttingDown)
		*begun += kShutDownAim;
	return true;
}

class SignalAtAnyMoment : public testing::TestWithParam<Phase>
{
};

TEST_P(SignalAtAnyMoment, EndsWithinASecondRestoresTheTerminalAndLeavesNothing)
{
	const Phase phase = GetParam();
	const int signals[] = {SIGTERM, SIGINT, SIGHUP};
	std::mt19937 random(Seed(phase));
	std::uniform_int_distribution<long> moment(0, PhaseLength(phase).count());

	int endedBySignal = 0;
	int beforeTheQuestion = 0;
	int inTheShutDown = 0;
	for (int run = 0; run < RunsOf(phase); run++) {
		const int signalNumber = signals[run % 3];
		const std::chrono::microseconds delay(moment(random));
		SCOPED_TRACE("run " + std::to_string(run) + ": signal " + std::to_string(signalNumber) +
		             " " + std::to_string(delay.count()) + " us into " + PhaseName(phase));

		RemoteUnitRig rig;
		std::string error;
		ASSERT_TRUE(rig.StartUnit(&error)) << error;
		ProgramRun& program = rig.StartProgram();
		struct termios before;
		ASSERT_EQ(tcgetattr(program.TerminalFd(), &before), 0);

		Clock::time_point begun;
		ASSERT_TRUE(WaitForPhase(rig, phase, run % 2 == 1, &begun)) << program.Output();
		// The random moment is the point of the test, not a synchronisation.
		std::this_thread::sleep_until(begun + delay);
		const Clock::time_point signalled = Clock::now();
		program.Signal(signalNumber);
		// What the program is doing when it has not ended in time says why.
		std::string lateStates;
		if (!program.WaitForExit(kEndsWithin))
			lateStates = ThreadStates(program.Pid());
		ASSERT_TRUE(program.WaitForExit(kGenerous)) << program.Output();
		const auto took = program.EndedAt() - signalled;
		EXPECT_LE(took, kEndsWithin)
		    << std::chrono::duration_cast<std::chrono::milliseconds>(took).count()
		    << " ms; a second after the signal:\n"
		    << lateStates << "printed:\n"
		    << program.Output();

		// Late in the shut-down the program may have ended by itself, a whole reset.
		if (program.Exited()) {
			EXPECT_EQ(program.ExitCode(), 0);
			EXPECT_TRUE(phase == Phase::ShuttingDown || phase == Phase::Announcing)
			    << program.Output();
			EXPECT_NE(IndexOf(program.Texts(), "UserInterface exiting"), -1) << program.Output();
		} else {
			endedBySignal++;
			ASSERT_TRUE(program.Signaled()) << "status " << program.Status();
			EXPECT_EQ(program.TermSignal(), signalNumber);
			EXPECT_FALSE(WCOREDUMP(program.Status()));
		}
		EXPECT_EQ(program.Output().find("Sanitizer"), std::string::npos) << program.Output();
		EXPECT_EQ(program.Output().find("runtime error"), std::string::npos) << program.Output();

		struct termios after;
		ASSERT_EQ(tcgetattr(program.TerminalFd(), &after), 0);
		EXPECT_TRUE(SameTerminalMode(before, after))
		    << "the terminal was left changed: " << ModeFlags(before) << " before, "
		    << ModeFlags(after) << " after";
		std::string left;
		for (pid_t pid : program.SessionLeftAtExit())
			left += std::to_string(pid) + ": " + ThreadStates(pid);
		EXPECT_TRUE(program.SessionLeftAtExit().empty()) << left;
		beforeTheQuestion += IndexOf(program.Texts(), kPrompt2) == -1 ? 1 : 0;
		inTheShutDown += program.Signaled() && IndexOf(program.Texts(), kResetLine) != -1 ? 1 : 0;
		// One failed run says enough; the rest would only repeat it.
		if (HasFailure())
			return;
	}
	printf("%s: %d of %d runs ended by the signal, %d before the question was printed, %d in "
	       "the shut-down\n",
	       PhaseName(phase).c_str(), endedBySignal, RunsOf(phase), beforeTheQuestion,
	       inTheShutDown);
	// Otherwise the start was too quick for the moments drawn, and the phase went untested.
	if (phase == Phase::Starting) {
		EXPECT_GT(beforeTheQuestion, 0);
	}
}

INSTANTIATE_TEST_SUITE_P(SignalAtAnyMoment, SignalAtAnyMoment,
                         testing::Values(Phase::Starting, Phase::Asking, Phase::Announcing,
                                         Phase::ShuttingDown),
                         [](const testing::TestParamInfo<Phase>& caseInfo) {
	                         return PhaseName(caseInfo.param);
                         });

} // namespace
