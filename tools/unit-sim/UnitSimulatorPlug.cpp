#include "unit-sim/UnitSimulator.h"

// Plugging a unit back in, and the adapter's hand-over of what the unit sends.

#include <errno.h>
#include <string.h>
#include <unistd.h>

#include "unit-sim/SimulatorWaits.h"

namespace UnitSim {

namespace {

// How long held bytes may wait for room in the line before the rest is dropped.
const std::chrono::milliseconds kDeliveryStall{500};

} // namespace

bool UnitSimulator::PlugBack(std::string* error)
{
	std::string ignored;
	if (error == nullptr)
		error = &ignored;
	{
		std::lock_guard<std::mutex> guard(fLock);
		if (!fHungUp) {
			*error = "not unplugged";
			return false;
		}
	}
	// With the thread stopped, the terminal is this thread's alone.
	Stop();
	_Unlink();
	if (!fTerminal.Open(error))
		return false;
	fLcdText.clear();
	fLcdRemaining = 0;
	fPendingReplies.clear();
	fLatencyTimer.Clear();
	fLineFreeAt = Clock::time_point();
	fDueLineFreeAt = Clock::time_point();

	std::lock_guard<std::mutex> guard(fLock);
	fSlavePath = fTerminal.SlavePath();
	if (symlink(fSlavePath.c_str(), LinkPath().c_str()) != 0) {
		*error = "symlink " + LinkPath() + ": " + strerror(errno);
		fTerminal.Close();
		return false;
	}
	fLinked = true;
	// A unit fresh from its box: a blank LCD.
	fLcd = std::pair<std::string, std::string>();
	fHungUp = false;
	fRunning = true;
	fThread = std::thread(&UnitSimulator::_Run, this);
	return true;
}

void UnitSimulator::BlankLcd()
{
	std::lock_guard<std::mutex> guard(fLock);
	fLcd = std::pair<std::string, std::string>();
}

void UnitSimulator::AnswerLate(int count)
{
	std::lock_guard<std::mutex> guard(fLock);
	fLateRepliesOrdered = count > 0 ? count : 0;
}

int UnitSimulator::LateRepliesToGo() const
{
	std::lock_guard<std::mutex> guard(fLock);
	return fLateRepliesOrdered;
}

bool UnitSimulator::_TakeLateReply()
{
	std::lock_guard<std::mutex> guard(fLock);
	if (fLateRepliesOrdered == 0)
		return false;
	fLateRepliesOrdered--;
	return true;
}

bool UnitSimulator::_HoldForAdapter(const uint8_t* bytes, size_t count)
{
	if (!fLatencyTimer.IsOn())
		return false;
	fLatencyTimer.Hold(bytes, count, Clock::now());
	_DeliverHeld();
	return true;
}

void UnitSimulator::_DeliverHeld()
{
	const std::vector<uint8_t> due = fLatencyTimer.TakeDue(Clock::now());
	if (!due.empty())
		_WriteToLine(due.data(), due.size(), Clock::now() + kDeliveryStall);
}

} // namespace UnitSim
