#include "app/TerminalRestore.h"

#include <atomic>

namespace BPrivate {

namespace {

enum SlotState
{
	kFree,
	kFilling,
	kReady
};

struct Slot
{
	std::atomic<int> state{kFree};
	int fd = -1;
	struct termios mode = {};
};

const int kSlotCount = 4;
Slot sSlots[kSlotCount];

static_assert(std::atomic<int>::is_always_lock_free, "the signal handler reads the slots");

} // namespace

int RegisterTerminalMode(int fd, const struct termios& mode)
{
	for (int i = 0; i < kSlotCount; i++) {
		int expected = kFree;
		if (sSlots[i].state.compare_exchange_strong(expected, kFilling)) {
			sSlots[i].fd = fd;
			sSlots[i].mode = mode;
			sSlots[i].state.store(kReady);
			return i;
		}
	}
	return -1;
}

void UnregisterTerminalMode(int slot)
{
	if (slot >= 0 && slot < kSlotCount)
		sSlots[slot].state.store(kFree);
}

void RestoreTerminalModes()
{
	for (Slot& slot : sSlots) {
		if (slot.state.load() == kReady)
			tcsetattr(slot.fd, TCSANOW, &slot.mode);
	}
}

} // namespace BPrivate
