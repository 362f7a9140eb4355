#pragma once

// A simulated remote unit: it answers on a pseudo-terminal linked into a platform root's
// dev/ports as a real unit answers on its serial line, and lets tests and demos press its keys,
// read its LCD and make it misbehave.

#include <stdint.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "unit-sim/LatencyTimer.h"
#include "unit-sim/PseudoTerminal.h"
#include "unit-sim/StatusReply.h"

namespace UnitSim {

typedef std::chrono::steady_clock Clock;

// How late a reply must be to count as a stall: well below any read time-out the program's
// port can have, so that every reply it might have misread is counted.
const std::chrono::milliseconds kStallThreshold{1};

enum class Misbehaviour
{
	None,
	Silence,     // no status replies at all (the LCD is still taken)
	WrongHeader, // replies headed 0x91, checksum right
	BadChecksum, // replies whose checksum is one off
	Garbage,     // reply-long random bytes, never headed 0x90, every key bit set
	LongReply,   // good replies of Options::longReplySize bytes (more than 50)
	LateReply,   // good replies, each sent Options::lateReplyDelay after its poll; the unit
	             // takes further bytes meanwhile, and answers each poll in turn
	Unsolicited, // good replies, and a byte 0x55 every Options::unsolicitedInterval besides
};

struct Options
{
	Model model = Model::Km3;
	// Emulates the line's speed both ways: each byte takes 10 bit times. Received bytes are
	// taken at that pace (a poll queued behind an LCD command is seen after the command's wire
	// time), and replies are sent at it.
	bool wireTiming = false;
	int bitRate = 57600;
	// How many polls a PressKey holds its key down for.
	int pressPolls = 3;
	std::chrono::milliseconds lateReplyDelay{30};
	std::chrono::milliseconds unsolicitedInterval{50};
	size_t longReplySize = 60;
	// The unit sits behind a USB serial adapter with this latency timer (see LatencyTimer): what
	// it sends reaches the line in chunks, at most this period late. Zero: no adapter.
	std::chrono::milliseconds latencyTimer{0};
	// Measures the pseudo-terminal's own delays, a byte every millisecond through a second one,
	// and counts them among the stalls (StallCount). For tests that judge the program's output
	// by when bytes arrive.
	bool probeLine = false;
};

// A stall (see UnitSimulator::StallCount): from when the delayed bytes were due to when they went
// out, or crossed the line.
struct Stall
{
	Clock::time_point from;
	Clock::time_point to;
};

struct LcdFrame
{
	std::string line1;
	std::string line2;
	Clock::time_point time;
};

// Every public operation may be called from any thread; the unit's own thread does the talking.
class UnitSimulator
{
public:
	// The port appears as `root`/dev/ports/`name` once started.
	UnitSimulator(std::string root, std::string name, Options options = Options());
	// Stops the unit's thread, joins it and removes the dev/ports entry.
	~UnitSimulator();

	UnitSimulator(const UnitSimulator&) = delete;
	UnitSimulator& operator=(const UnitSimulator&) = delete;

	// Opens the pseudo-terminal, links it into dev/ports (creating the directories, replacing a
	// dangling link left behind) and starts answering. False, with the reason in `error`.
	bool Start(std::string* error = nullptr);
	void Stop();

	std::string LinkPath() const;
	std::string SlavePath() const;
	Model UnitModel() const { return fOptions.model; }

	// The key is down in the next Options::pressPolls replies, then up.
	void PressKey(Key key);
	// The key is down in every reply until `duration` has passed (and in one reply at least).
	void PressKeyFor(Key key, Clock::duration duration);
	// The key stays down (or up) until told otherwise.
	void HoldKey(Key key, bool held);

	// The two 16-character lines of the last LCD text command; empty before the first.
	std::pair<std::string, std::string> LcdLines() const;
	std::vector<LcdFrame> LcdFrames() const;
	uint64_t LcdFrameCount() const;
	bool WaitForLcd(const std::string& line1, const std::string& line2,
	                Clock::time_point deadline) const;
	bool WaitForLcdFrames(uint64_t count, Clock::time_point deadline) const;

	uint64_t PollCount() const;
	bool WaitForPolls(uint64_t count, Clock::time_point deadline) const;
	// When each poll byte was taken (the latest ones, at most 100,000).
	std::vector<Clock::time_point> PollTimes() const;
	// Status replies the unit has begun to send.
	uint64_t RepliesSent() const;
	// When the latest reply that carried `key` down, after a reply that did not, began to go out:
	// the moment a press reaches the line. Clock::time_point() before any.
	Clock::time_point KeyRiseTime(Key key) const;
	// Replies that went out kStallThreshold or more later than a real unit would have sent them,
	// because this unit's own thread ran late: it waited for a processor or for its lock, or
	// overslept. And, with Options::probeLine, the moments the pseudo-terminal itself was slow to
	// carry bytes across (its kernel work kept waiting on a busy machine), which delays polls and
	// replies alike. Such a reply may reach the program cut in two, or after its read time-out,
	// and then be read together with the next one; a real unit's on a real line never does.
	uint64_t StallCount() const;
	Clock::duration LongestStall() const;
	// The latest stalls (at most 10,000), oldest first.
	std::vector<Stall> StallTimes() const;
	// Bytes that were neither a poll nor part of an LCD text command.
	uint64_t IgnoredByteCount() const;

	void SetMisbehaviour(Misbehaviour misbehaviour);
	void SetLateReplyDelay(std::chrono::milliseconds delay);
	// The replies to the next `count` polls go out the late-reply delay after their polls, as
	// with Misbehaviour::LateReply; then the unit is punctual again.
	void AnswerLate(int count);
	// Polls still to come whose replies AnswerLate ordered late.
	int LateRepliesToGo() const;

	// Closes the pseudo-terminal: the program sees POLLHUP, and EIO on writes. Returns once done.
	void HangUp();
	// Clears the LCD, as a unit switched off and on again (powered through its USB adapter, say)
	// shows nothing until the program writes to it.
	void BlankLcd();
	// Hangs up and removes the dev/ports entry, as when a USB adapter is pulled out.
	void Remove();
	bool IsHungUp() const;
	// After a hang-up or a removal: a unit plugged in under the same name, on a new terminal, with
	// a blank LCD; the keys and counts go on. False, with the reason in `error`.
	bool PlugBack(std::string* error = nullptr);

private:
	void _Run();
	void _Wake();
	// `dueAt`: when the byte came, as the line ran, not as this thread saw it.
	void _Take(uint8_t byte, Clock::time_point dueAt);
	void _Answer(Clock::time_point polledAt);
	// Sends the late replies whose time has come.
	void _SendDueReplies();
	// `due`: when a real unit would have begun to send it; a reply that goes out later by
	// kStallThreshold or more counts as a stall.
	void _SendReply(const std::vector<uint8_t>& reply, KeySet held, Clock::time_point due);
	// Takes the probe byte when it has `arrived`, which it had by `arrivedBy` (when the wait that
	// saw it ended, less what kept this thread from seeing it sooner), counting a stall of the
	// line when it took kLineStall or more to cross; and sends the next when due.
	void _Probe(bool arrived, Clock::time_point arrivedBy);
	// Whether the probe byte is there now, without waiting.
	bool _ProbeWaiting() const;
	void _CountStall(Clock::duration late);
	std::vector<uint8_t> _ReplyFor(Misbehaviour misbehaviour, KeySet held);
	// The most a byte went out after its time at the line's pace.
	Clock::duration _Send(const std::vector<uint8_t>& bytes);
	// Writes all of `bytes` into the line, waiting for room until `giveUp`; false when the rest
	// was dropped.
	bool _WriteToLine(const uint8_t* bytes, size_t count, Clock::time_point giveUp);
	// Waits until `time` or until asked to stop; false when asked to stop.
	bool _SleepUntil(Clock::time_point time);
	void _DoHangUp();
	void _Unlink();
	void _PointLinkNowhere();
	// With an adapter: holds the bytes for its timer and delivers what is due; true. Else false.
	// Whether this poll's reply is one of those AnswerLate ordered; counts it.
	bool _TakeLateReply();
	bool _HoldForAdapter(const uint8_t* bytes, size_t count);
	void _DeliverHeld();

	const std::string fRoot;
	const std::string fName;
	const Options fOptions;
	const Clock::duration fByteTime;

	mutable std::mutex fLock;
	mutable std::condition_variable fChanged;
	bool fRunning = false;
	bool fStopping = false;
	bool fHangUpRequested = false;
	bool fHungUp = false;
	bool fLinked = false;
	std::string fSlavePath;
	Misbehaviour fMisbehaviour = Misbehaviour::None;
	std::chrono::milliseconds fLateReplyDelay;
	KeySet fHeldKeys = 0;
	int fPressPolls[2] = {0, 0};
	Clock::time_point fPressedUntil[2];
	std::deque<LcdFrame> fFrames;
	uint64_t fFrameCount = 0;
	std::pair<std::string, std::string> fLcd;
	uint64_t fPollCount = 0;
	std::deque<Clock::time_point> fPollTimes;
	uint64_t fRepliesSent = 0;
	KeySet fSentKeys = 0;
	Clock::time_point fKeyRiseTimes[2];
	uint64_t fIgnoredBytes = 0;
	uint64_t fStallCount = 0;
	std::deque<Stall> fStallTimes;
	Clock::duration fLongestStall{0};

	// The unit's thread alone touches these once it runs.
	PseudoTerminal fTerminal;
	int fWakeRead = -1;
	int fWakeWrite = -1;
	std::string fLcdText;
	size_t fLcdRemaining = 0;
	Clock::time_point fLineFreeAt;
	Clock::time_point fDueLineFreeAt;
	Clock::time_point fNextUnsolicited;
	std::minstd_rand fRandom{2718};
	struct PendingReply
	{
		Clock::time_point due;
		Clock::time_point dueByTheLine;
		std::vector<uint8_t> bytes;
		KeySet held;
	};
	// A second pseudo-terminal, open with Options::probeLine, through which a byte is sent every
	// millisecond: how long it takes to cross is how long the kernel's own work that carries
	// bytes across a pseudo-terminal is kept waiting, which delays the line's bytes alike.
	PseudoTerminal fProbe;
	Clock::time_point fProbeSentAt;
	Clock::time_point fNextProbeAt;
	std::deque<PendingReply> fPendingReplies;
	LatencyTimer fLatencyTimer;
	int fLateRepliesOrdered = 0;

	std::thread fThread;
};

} // namespace UnitSim
