// Which serial port the whole program takes: the first of dev/ports that opens, or none; without
// one it reports every byte it cannot send, and the keyboard still resets.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/Eventually.h"
#include "support/HeadlessProgram.h"
#include "support/ProgramRun.h"
#include "support/RemoteUnitRig.h"
#include "support/TempDirectory.h"
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

// A descriptor on a port with the lock every opener of a serial port takes, as another program
// that has the port open holds it.
class HeldPort
{
public:
	explicit HeldPort(const std::string& path)
	    : fDescriptor(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
	{
		fLocked = fDescriptor >= 0 && flock(fDescriptor, LOCK_EX | LOCK_NB) == 0;
	}
	~HeldPort()
	{
		if (fDescriptor >= 0)
			close(fDescriptor);
	}
	HeldPort(const HeldPort&) = delete;
	HeldPort& operator=(const HeldPort&) = delete;

	bool Locked() const { return fLocked; }

private:
	int fDescriptor;
	bool fLocked = false;
};

// With serial0 in front of the unit (set up by the caller), the unit on serial1 is the one used.
void ExpectTheUnitOnSerial1IsUsed(RemoteUnitRig& rig)
{
	ProgramRun& program = rig.StartProgram();
	ASSERT_TRUE(program.WaitForLine(kClassicLine, kGenerous)) << program.Output();
	ASSERT_TRUE(rig.unit.WaitForLcd(kPrompt1, kPrompt2, Deadline())) << program.Output();
	rig.unit.PressKey(UnitSim::Key::Enter);
	ASSERT_TRUE(program.WaitForExit(kGenerous)) << program.Output();
	EXPECT_EQ(program.ExitCode(), 0);
	EXPECT_TRUE(IsTranscriptOf(program.Lines(), rig.Transcript()));
}

TEST(RemoteUnitPorts, DanglingFirstPortIsSkippedAndTheSecondIsUsedAndNamed)
{
	RemoteUnitRig rig;
	ASSERT_EQ(
	    symlink(rig.root.Join("nowhere/ttyX").c_str(), rig.root.Join("dev/ports/serial0").c_str()),
	    0);
	std::string error;
	ASSERT_TRUE(rig.StartUnit(&error)) << error;
	ExpectTheUnitOnSerial1IsUsed(rig);
}

TEST(RemoteUnitPorts, FirstPortHeldByAnotherIsSkippedAndNeverWrittenTo)
{
	RemoteUnitRig rig;
	UnitSim::UnitSimulator busyUnit(rig.root.Path(), "serial0");
	std::string error;
	ASSERT_TRUE(busyUnit.Start(&error)) << error;
	HeldPort held(busyUnit.SlavePath());
	ASSERT_TRUE(held.Locked());
	ASSERT_TRUE(rig.StartUnit(&error)) << error;
	ExpectTheUnitOnSerial1IsUsed(rig);
	EXPECT_EQ(busyUnit.PollCount(), 0u);
	EXPECT_EQ(busyUnit.LcdFrameCount(), 0u);
	EXPECT_EQ(busyUnit.IgnoredByteCount(), 0u);
}

// Some 1,700 failed bytes a second: the first is printed, the rest counted at most once a second,
// so that a journal bounding the service's rate keeps the dialogue's own lines.
TEST(RemoteUnitPorts, WithoutAPortTheFailedSendIsPrintedOnceCountedAndTheKeyboardStillResets)
{
	PlatformRootDirectory root;
	const Clock::time_point started = Clock::now();
	ProgramRun program(VelmoResetPath(), HeadlessOptions(root));
	ASSERT_TRUE(program.WaitForLine(kPrompt2, kGenerous)) << program.Output();
	const auto counted = [&] { return CountStarting(program.Texts(), kSendRepeatsPrefix) >= 2; };
	EXPECT_TRUE(Eventually(counted, kGenerous)) << program.Output();

	program.Type("\r");
	ASSERT_TRUE(program.WaitForLine(kAnnounce2, kGenerous)) << program.Output();
	ASSERT_TRUE(program.WaitForExit(kGenerous)) << program.Output();
	EXPECT_EQ(program.ExitCode(), 0);
	const auto seconds =
	    std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - started).count();

	// The same failure throughout (no port): one line, then counts, the last as the program ends.
	const std::vector<std::string> texts = program.Texts();
	EXPECT_EQ(CountStarting(texts, kSendErrorPrefix), 1u) << program.Output();
	EXPECT_LE(CountStarting(texts, kSendRepeatsPrefix), static_cast<size_t>(seconds) + 2)
	    << program.Output();
	// Two passes at least, asking and announcing: the LCD text command, 32 characters, the poll.
	EXPECT_GE(SendFailuresTold(texts), 2u * 34) << program.Output();

	ResetTranscript expected;
	expected.sendErrors = true;
	EXPECT_TRUE(IsTranscriptOf(program.Lines(), expected));
}

} // namespace
