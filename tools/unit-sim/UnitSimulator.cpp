#include "unit-sim/UnitSimulator.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "unit-sim/SimulatorWaits.h"

namespace UnitSim {

namespace {

// Low among the real-time priorities: above every ordinary thread, below the kernel's own.
const int kRealTimePriority = 5;

// How long HangUp waits for the unit's thread to close the line.
const std::chrono::seconds kRequestTimeout{5};

bool MakeDirectories(const std::string& path, std::string* error)
{
	for (size_t slash = 1; slash != std::string::npos;) {
		slash = path.find('/', slash + 1);
		std::string prefix = path.substr(0, slash);
		if (mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) {
			*error = "mkdir " + prefix + ": " + strerror(errno);
			return false;
		}
	}
	return true;
}

} // namespace

UnitSimulator::UnitSimulator(std::string root, std::string name, Options options)
    : fRoot(std::move(root)), fName(std::move(name)), fOptions(options),
      fByteTime(std::chrono::nanoseconds(10 * 1000000000LL /
                                         (options.bitRate > 0 ? options.bitRate : 57600))),
      fLateReplyDelay(options.lateReplyDelay), fLatencyTimer(options.latencyTimer)
{
}

UnitSimulator::~UnitSimulator()
{
	Stop();
	_Unlink();
	fTerminal.Close();
	fProbe.Close();
	if (fWakeRead >= 0)
		close(fWakeRead);
	if (fWakeWrite >= 0)
		close(fWakeWrite);
}

std::string UnitSimulator::LinkPath() const
{
	return fRoot + "/dev/ports/" + fName;
}

std::string UnitSimulator::SlavePath() const
{
	std::lock_guard<std::mutex> guard(fLock);
	return fSlavePath;
}

bool UnitSimulator::Start(std::string* error)
{
	std::string ignored;
	if (error == nullptr)
		error = &ignored;
	std::lock_guard<std::mutex> guard(fLock);
	if (fRunning || fHungUp) {
		*error = "already started";
		return false;
	}
	int wake[2];
	if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
		*error = std::string("pipe: ") + strerror(errno);
		return false;
	}
	fWakeRead = wake[0];
	fWakeWrite = wake[1];
	if (!fTerminal.Open(error))
		return false;
	if (fOptions.probeLine && !fProbe.Open(error))
		return false;
	fSlavePath = fTerminal.SlavePath();

	if (!MakeDirectories(fRoot + "/dev/ports", error))
		return false;
	std::string link = LinkPath();
	struct stat target;
	struct stat entry;
	if (lstat(link.c_str(), &entry) == 0 && S_ISLNK(entry.st_mode) &&
	    stat(link.c_str(), &target) != 0)
		unlink(link.c_str());
	if (symlink(fSlavePath.c_str(), link.c_str()) != 0) {
		*error = "symlink " + link + ": " + strerror(errno);
		return false;
	}
	fLinked = true;

	fRunning = true;
	fNextUnsolicited = Clock::now() + fOptions.unsolicitedInterval;
	fThread = std::thread(&UnitSimulator::_Run, this);
	// A real unit has a processor of its own. Where the scheduler allows it (as root), the
	// unit's thread runs ahead of ordinary work, so that a busy machine delays it no more than
	// it would delay a device; elsewhere its stalls are counted (StallCount).
	struct sched_param priority = {};
	priority.sched_priority = kRealTimePriority;
	pthread_setschedparam(fThread.native_handle(), SCHED_FIFO, &priority);
	return true;
}

void UnitSimulator::Stop()
{
	{
		std::lock_guard<std::mutex> guard(fLock);
		if (!fRunning)
			return;
		fStopping = true;
	}
	_Wake();
	fThread.join();
	std::lock_guard<std::mutex> guard(fLock);
	fRunning = false;
	fStopping = false;
}

void UnitSimulator::PressKey(Key key)
{
	std::lock_guard<std::mutex> guard(fLock);
	fPressPolls[KeyIndex(key)] = fOptions.pressPolls > 0 ? fOptions.pressPolls : 1;
}

void UnitSimulator::PressKeyFor(Key key, Clock::duration duration)
{
	std::lock_guard<std::mutex> guard(fLock);
	fPressedUntil[KeyIndex(key)] = Clock::now() + duration;
	if (fPressPolls[KeyIndex(key)] < 1)
		fPressPolls[KeyIndex(key)] = 1;
}

void UnitSimulator::HoldKey(Key key, bool held)
{
	std::lock_guard<std::mutex> guard(fLock);
	if (held)
		fHeldKeys |= KeyFlag(key);
	else
		fHeldKeys &= ~KeyFlag(key);
}

std::pair<std::string, std::string> UnitSimulator::LcdLines() const
{
	std::lock_guard<std::mutex> guard(fLock);
	return fLcd;
}

std::vector<LcdFrame> UnitSimulator::LcdFrames() const
{
	std::lock_guard<std::mutex> guard(fLock);
	return std::vector<LcdFrame>(fFrames.begin(), fFrames.end());
}

uint64_t UnitSimulator::LcdFrameCount() const
{
	std::lock_guard<std::mutex> guard(fLock);
	return fFrameCount;
}

bool UnitSimulator::WaitForLcd(const std::string& line1, const std::string& line2,
                               Clock::time_point deadline) const
{
	std::unique_lock<std::mutex> lock(fLock);
	return fChanged.wait_until(lock, deadline,
	                           [&] { return fLcd.first == line1 && fLcd.second == line2; });
}

bool UnitSimulator::WaitForLcdFrames(uint64_t count, Clock::time_point deadline) const
{
	std::unique_lock<std::mutex> lock(fLock);
	return fChanged.wait_until(lock, deadline, [&] { return fFrameCount >= count; });
}

uint64_t UnitSimulator::PollCount() const
{
	std::lock_guard<std::mutex> guard(fLock);
	return fPollCount;
}

bool UnitSimulator::WaitForPolls(uint64_t count, Clock::time_point deadline) const
{
	std::unique_lock<std::mutex> lock(fLock);
	return fChanged.wait_until(lock, deadline, [&] { return fPollCount >= count; });
}

std::vector<Clock::time_point> UnitSimulator::PollTimes() const
{
	std::lock_guard<std::mutex> guard(fLock);
	return std::vector<Clock::time_point>(fPollTimes.begin(), fPollTimes.end());
}

uint64_t UnitSimulator::RepliesSent() const
{
	std::lock_guard<std::mutex> guard(fLock);
	return fRepliesSent;
}

Clock::time_point UnitSimulator::KeyRiseTime(Key key) const
{
	std::lock_guard<std::mutex> guard(fLock);
	return fKeyRiseTimes[KeyIndex(key)];
}

uint64_t UnitSimulator::StallCount() const
{
	std::lock_guard<std::mutex> guard(fLock);
	return fStallCount;
}

Clock::duration UnitSimulator::LongestStall() const
{
	std::lock_guard<std::mutex> guard(fLock);
	return fLongestStall;
}

std::vector<Stall> UnitSimulator::StallTimes() const
{
	std::lock_guard<std::mutex> guard(fLock);
	return std::vector<Stall>(fStallTimes.begin(), fStallTimes.end());
}

uint64_t UnitSimulator::IgnoredByteCount() const
{
	std::lock_guard<std::mutex> guard(fLock);
	return fIgnoredBytes;
}

void UnitSimulator::SetMisbehaviour(Misbehaviour misbehaviour)
{
	std::lock_guard<std::mutex> guard(fLock);
	fMisbehaviour = misbehaviour;
}

void UnitSimulator::SetLateReplyDelay(std::chrono::milliseconds delay)
{
	std::lock_guard<std::mutex> guard(fLock);
	fLateReplyDelay = delay;
}

void UnitSimulator::HangUp()
{
	std::unique_lock<std::mutex> lock(fLock);
	if (fHungUp)
		return;
	if (!fRunning) {
		// No thread uses the terminal: close it here.
		lock.unlock();
		_PointLinkNowhere();
		lock.lock();
		fTerminal.Close();
		fHungUp = true;
		return;
	}
	fHangUpRequested = true;
	lock.unlock();
	_Wake();
	lock.lock();
	fChanged.wait_for(lock, kRequestTimeout, [&] { return fHungUp; });
}

void UnitSimulator::Remove()
{
	HangUp();
	_Unlink();
}

bool UnitSimulator::IsHungUp() const
{
	std::lock_guard<std::mutex> guard(fLock);
	return fHungUp;
}

void UnitSimulator::_Wake()
{
	if (fWakeWrite < 0)
		return;
	uint8_t byte = 1;
	// A full pipe already wakes the thread.
	while (write(fWakeWrite, &byte, 1) < 0 && errno == EINTR) {
	}
}

// Before the terminal is closed: once closed, its number may be given to any new pseudo-terminal
// on the machine (another test's program's own terminal, say), and a program opening the link
// then would take that terminal for the unit. The link is replaced in one step by one to a name
// no pseudo-terminal has.
void UnitSimulator::_PointLinkNowhere()
{
	std::lock_guard<std::mutex> guard(fLock);
	if (!fLinked)
		return;
	const std::string link = LinkPath();
	const std::string replacement = link + ".closed";
	unlink(replacement.c_str());
	if (symlink((fSlavePath + ".closed").c_str(), replacement.c_str()) != 0 ||
	    rename(replacement.c_str(), link.c_str()) != 0) {
		unlink(replacement.c_str());
		unlink(link.c_str());
		fLinked = false;
	}
}

void UnitSimulator::_Unlink()
{
	std::lock_guard<std::mutex> guard(fLock);
	if (!fLinked)
		return;
	unlink(LinkPath().c_str());
	fLinked = false;
}

} // namespace UnitSim
