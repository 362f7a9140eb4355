#include "unit-sim/UnitSimulator.h"

// The unit's own thread: it takes the bytes the program sends and answers them.

#include <errno.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>

#include "unit-sim/RunQueueClock.h"
#include "unit-sim/SimulatorWaits.h"

namespace UnitSim {

namespace {

const size_t kFrameHistory = 10000;
const size_t kPollHistory = 100000;
const size_t kStallHistory = 10000;
const uint8_t kUnsolicitedByte = 0x55;
const uint8_t kWrongHeader = 0x91;
// How long a reply may wait for room in the line before the rest of it is dropped.
const std::chrono::milliseconds kSendStall{500};
// How often the line's own delay is measured, and how long a byte may take to cross a second
// pseudo-terminal before the line counts as stalled.
const std::chrono::milliseconds kProbeEvery{1};
const std::chrono::milliseconds kLineStall{2};
// A poll() shorter than this found its bytes waiting.
const std::chrono::microseconds kWaitedNotAtAll{100};

} // namespace

void UnitSimulator::_Run()
{
	// Made on this thread: it reads this thread's own figures.
	RunQueueClock runQueue;
	for (;;) {
		// From here the thread may be kept from bytes that are already waiting: by the lock,
		// which a caller may hold, or by the scheduler.
		const Clock::time_point busyFrom = Clock::now();
		const std::chrono::nanoseconds waitingBefore = runQueue.Now();
		bool hangUp;
		Misbehaviour misbehaviour;
		{
			std::lock_guard<std::mutex> guard(fLock);
			if (fStopping)
				return;
			hangUp = fHangUpRequested;
			misbehaviour = fMisbehaviour;
		}
		if (hangUp) {
			_DoHangUp();
			continue;
		}

		bool unsolicited = misbehaviour == Misbehaviour::Unsolicited && fTerminal.IsOpen();
		Clock::time_point wakeAt = Clock::now() + std::chrono::seconds(1);
		if (unsolicited && fNextUnsolicited < wakeAt)
			wakeAt = fNextUnsolicited;
		if (!fPendingReplies.empty() && fPendingReplies.front().due < wakeAt)
			wakeAt = fPendingReplies.front().due;
		wakeAt = std::min(wakeAt, fLatencyTimer.NextDue());
		if (fProbe.IsOpen() && fProbeSentAt == Clock::time_point())
			wakeAt = std::min(wakeAt, fNextProbeAt);

		// poll() passes over the entries of a closed line or of no probe.
		struct pollfd entries[3] = {{fWakeRead, POLLIN, 0},
		                            {fTerminal.IsOpen() ? fTerminal.Master() : -1, POLLIN, 0},
		                            {fProbe.IsOpen() ? fProbe.Slave() : -1, POLLIN, 0}};
		const nfds_t count = 3;
		const Clock::time_point pollFrom = Clock::now();
		int result = PollUntil(entries, count, wakeAt);
		const Clock::time_point pollTo = Clock::now();
		// How much earlier than this thread could see them the bytes may have come: its time
		// waiting for a processor, and when poll() did not have to wait, the time before it too.
		Clock::duration heldBack = runQueue.Now() - waitingBefore;
		if (pollTo - pollFrom < kWaitedNotAtAll)
			heldBack += pollFrom - busyFrom;
		if (result < 0 && errno != EINTR)
			return;
		if (result > 0 && (entries[0].revents & POLLIN) != 0) {
			uint8_t drain[64];
			while (read(fWakeRead, drain, sizeof(drain)) > 0) {
			}
		}
		if (result > 0 && entries[1].fd >= 0 && (entries[1].revents & POLLIN) != 0) {
			uint8_t buffer[256];
			ssize_t length = read(fTerminal.Master(), buffer, sizeof(buffer));
			Clock::time_point readAt = Clock::now();
			const Clock::time_point dueReadAt = pollTo - heldBack;
			for (ssize_t index = 0; index < length; index++) {
				Clock::time_point dueArrival = dueReadAt;
				if (fOptions.wireTiming) {
					// Each byte is taken when its last bit has come down the line. The line is
					// followed twice: as this thread can follow it, and as it ran, which is
					// where a real unit would have answered.
					Clock::time_point arrival = std::max(fLineFreeAt, readAt) + fByteTime;
					fLineFreeAt = arrival;
					dueArrival = std::max(fDueLineFreeAt, dueReadAt) + fByteTime;
					fDueLineFreeAt = dueArrival;
					if (!_SleepUntil(arrival))
						break;
					// A probe that crossed while this thread kept pace with the line is timed
					// now, not at the next round, which would count the pacing as the line's.
					_Probe(_ProbeWaiting(), Clock::now());
				}
				_Take(buffer[index], dueArrival);
				_SendDueReplies();
			}
		} else if (result > 0 && entries[1].fd >= 0 && (entries[1].revents & (POLLHUP | POLLERR)) != 0) {
			// The unit holds its own slave descriptor, so this should not last; do not spin.
			_SleepUntil(Clock::now() + std::chrono::milliseconds(10));
		}

		_SendDueReplies();
		_DeliverHeld();
		// Unless the pacing above took it already.
		_Probe(result > 0 && (entries[2].revents & POLLIN) != 0 && _ProbeWaiting(),
		       pollTo - heldBack);
		if (unsolicited && fTerminal.IsOpen() && Clock::now() >= fNextUnsolicited) {
			_Send(std::vector<uint8_t>(1, kUnsolicitedByte));
			fNextUnsolicited = Clock::now() + fOptions.unsolicitedInterval;
		}
	}
}

void UnitSimulator::_Take(uint8_t byte, Clock::time_point dueAt)
{
	if (fLcdRemaining > 0) {
		fLcdText.push_back((char)byte);
		if (--fLcdRemaining > 0)
			return;
		LcdFrame frame{fLcdText.substr(0, kLcdLineLength), fLcdText.substr(kLcdLineLength),
		               Clock::now()};
		std::lock_guard<std::mutex> guard(fLock);
		fLcd = std::make_pair(frame.line1, frame.line2);
		fFrames.push_back(std::move(frame));
		if (fFrames.size() > kFrameHistory)
			fFrames.pop_front();
		fFrameCount++;
		fChanged.notify_all();
		return;
	}
	if (byte == kLcdTextCommand) {
		fLcdText.clear();
		fLcdRemaining = kLcdTextLength;
		return;
	}
	if (byte == kPollByte) {
		{
			std::lock_guard<std::mutex> guard(fLock);
			fPollCount++;
			fPollTimes.push_back(Clock::now());
			if (fPollTimes.size() > kPollHistory)
				fPollTimes.pop_front();
			fChanged.notify_all();
		}
		_Answer(dueAt);
		return;
	}
	std::lock_guard<std::mutex> guard(fLock);
	fIgnoredBytes++;
}

void UnitSimulator::_Answer(Clock::time_point polledAt)
{
	// Late replies keep to the time the poll was taken, so that a reply is never sent before its
	// delay has passed as the program sees it; they are judged against `polledAt`.
	const Clock::time_point takenAt = Clock::now();
	Misbehaviour misbehaviour;
	KeySet held;
	std::chrono::milliseconds delay;
	{
		std::lock_guard<std::mutex> guard(fLock);
		misbehaviour = fMisbehaviour;
		delay = fLateReplyDelay;
		held = fHeldKeys;
		for (Key key : {Key::Enter, Key::Backslash}) {
			int index = KeyIndex(key);
			if (fPressPolls[index] > 0 || takenAt < fPressedUntil[index]) {
				held |= KeyFlag(key);
				if (fPressPolls[index] > 0)
					fPressPolls[index]--;
			}
		}
	}
	if (misbehaviour == Misbehaviour::Silence)
		return;
	std::vector<uint8_t> reply = _ReplyFor(misbehaviour, held);
	if (misbehaviour == Misbehaviour::LateReply || _TakeLateReply()) {
		fPendingReplies.push_back({takenAt + delay, polledAt + delay, std::move(reply), held});
		return;
	}
	_SendReply(reply, held, polledAt);
}

void UnitSimulator::_SendDueReplies()
{
	while (!fPendingReplies.empty() && fPendingReplies.front().due <= Clock::now()) {
		PendingReply pending = std::move(fPendingReplies.front());
		fPendingReplies.pop_front();
		_SendReply(pending.bytes, pending.held, pending.dueByTheLine);
	}
}

void UnitSimulator::_SendReply(const std::vector<uint8_t>& reply, KeySet held,
                               Clock::time_point due)
{
	const Clock::duration lateToStart = Clock::now() - due;
	{
		// Counted before it goes out, so that whoever has read the reply sees it counted.
		std::lock_guard<std::mutex> guard(fLock);
		fRepliesSent++;
		Clock::time_point sentAt = Clock::now();
		for (Key key : {Key::Enter, Key::Backslash}) {
			if ((held & KeyFlag(key)) != 0 && (fSentKeys & KeyFlag(key)) == 0)
				fKeyRiseTimes[KeyIndex(key)] = sentAt;
		}
		fSentKeys = held;
		fChanged.notify_all();
	}
	const Clock::duration late = std::max(lateToStart, Clock::duration::zero()) + _Send(reply);
	if (late >= kStallThreshold)
		_CountStall(late);
}

void UnitSimulator::_Probe(bool arrived, Clock::time_point arrivedBy)
{
	if (!fProbe.IsOpen())
		return;
	const Clock::time_point now = Clock::now();
	if (arrived) {
		uint8_t drain[64];
		while (read(fProbe.Slave(), drain, sizeof(drain)) > 0) {
		}
		const Clock::duration crossing = arrivedBy - fProbeSentAt;
		if (crossing >= kLineStall)
			_CountStall(crossing);
		fProbeSentAt = Clock::time_point();
		fNextProbeAt = now + kProbeEvery;
	}
	if (fProbeSentAt == Clock::time_point() && now >= fNextProbeAt) {
		const uint8_t byte = 0;
		if (write(fProbe.Master(), &byte, 1) == 1)
			fProbeSentAt = now;
	}
}

bool UnitSimulator::_ProbeWaiting() const
{
	if (!fProbe.IsOpen())
		return false;
	struct pollfd entry = {fProbe.Slave(), POLLIN, 0};
	return poll(&entry, 1, 0) > 0 && (entry.revents & POLLIN) != 0;
}

void UnitSimulator::_CountStall(Clock::duration late)
{
	std::lock_guard<std::mutex> guard(fLock);
	fStallCount++;
	fLongestStall = std::max(fLongestStall, late);
	const Clock::time_point now = Clock::now();
	fStallTimes.push_back({now - late, now});
	if (fStallTimes.size() > kStallHistory)
		fStallTimes.pop_front();
}

std::vector<uint8_t> UnitSimulator::_ReplyFor(Misbehaviour misbehaviour, KeySet held)
{
	std::vector<uint8_t> reply = BuildStatusReply(fOptions.model, held);
	switch (misbehaviour) {
	case Misbehaviour::WrongHeader:
		reply[0] = kWrongHeader;
		SealChecksum(reply);
		break;
	case Misbehaviour::BadChecksum:
		reply.back() = (uint8_t)((reply.back() + 1) & 0x7f);
		break;
	case Misbehaviour::Garbage:
		for (uint8_t& byte : reply)
			byte = (uint8_t)(fRandom() & 0xff);
		if (reply[0] == kPollByte)
			reply[0] = kWrongHeader;
		for (Key key : {Key::Enter, Key::Backslash}) {
			KeyBit bit = KeyBitFor(fOptions.model, key);
			reply[bit.byte] |= bit.mask;
		}
		break;
	case Misbehaviour::LongReply:
		reply.resize(fOptions.longReplySize > reply.size() ? fOptions.longReplySize : reply.size(),
		             0);
		SealChecksum(reply);
		break;
	default:
		break;
	}
	return reply;
}

Clock::duration UnitSimulator::_Send(const std::vector<uint8_t>& bytes)
{
	Clock::duration overrun = Clock::duration::zero();
	if (!fTerminal.IsOpen())
		return overrun;
	Clock::time_point start = Clock::now();
	Clock::time_point giveUp = start + kSendStall;
	size_t sent = 0;
	while (sent < bytes.size()) {
		size_t chunk = bytes.size() - sent;
		if (fOptions.wireTiming) {
			// A byte is on the far side once its 10 bit times have passed.
			const Clock::time_point due = start + fByteTime * (sent + 1);
			std::this_thread::sleep_until(due);
			chunk = 1;
			overrun = std::max(overrun, Clock::now() - due);
		}
		if (!_HoldForAdapter(bytes.data() + sent, chunk) &&
		    !_WriteToLine(bytes.data() + sent, chunk, giveUp))
			return overrun;
		sent += chunk;
	}
	return overrun;
}

bool UnitSimulator::_WriteToLine(const uint8_t* bytes, size_t count, Clock::time_point giveUp)
{
	size_t written = 0;
	while (written < count && fTerminal.IsOpen()) {
		ssize_t length = write(fTerminal.Master(), bytes + written, count - written);
		if (length > 0) {
			written += length;
			continue;
		}
		if (length < 0 && errno == EINTR)
			continue;
		if (length < 0 && errno == EAGAIN && Clock::now() < giveUp) {
			struct pollfd entry = {fTerminal.Master(), POLLOUT, 0};
			poll(&entry, 1, PollMilliseconds(giveUp));
			continue;
		}
		return false;
	}
	return written == count;
}

bool UnitSimulator::_SleepUntil(Clock::time_point time)
{
	for (;;) {
		{
			std::lock_guard<std::mutex> guard(fLock);
			if (fStopping || fHangUpRequested)
				return false;
		}
		Clock::time_point now = Clock::now();
		if (now >= time)
			return true;
		if (time - now < std::chrono::milliseconds(2)) {
			std::this_thread::sleep_until(time);
			return true;
		}
		struct pollfd entry = {fWakeRead, POLLIN, 0};
		if (PollUntil(&entry, 1, time) > 0) {
			uint8_t drain[64];
			while (read(fWakeRead, drain, sizeof(drain)) > 0) {
			}
		}
	}
}

void UnitSimulator::_DoHangUp()
{
	_PointLinkNowhere();
	fTerminal.Close();
	fLcdRemaining = 0;
	fPendingReplies.clear();
	fLatencyTimer.Clear();
	std::lock_guard<std::mutex> guard(fLock);
	fHungUp = true;
	fHangUpRequested = false;
	fChanged.notify_all();
}

} // namespace UnitSim
