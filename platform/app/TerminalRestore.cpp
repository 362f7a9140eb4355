#include "app/TerminalRestore.h"

#include <linux/kd.h>
#include <linux/vt.h>
#include <sys/ioctl.h>

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
	bool console = false;
	struct termios mode = {};
	int displayMode = KD_TEXT;
	int keyboardMode = K_XLATE;
	int previousConsole = 0;
};

const int kSlotCount = 4;
Slot sSlots[kSlotCount];

static_assert(std::atomic<int>::is_always_lock_free, "the signal handler reads the slots");

template<typename Fill>
int Register(Fill fill)
{
	for (int i = 0; i < kSlotCount; i++) {
		int expected = kFree;
		if (sSlots[i].state.compare_exchange_strong(expected, kFilling)) {
			fill(sSlots[i]);
			sSlots[i].state.store(kReady);
			return i;
		}
	}
	return -1;
}

} // namespace

int RegisterTerminalMode(int fd, const struct termios& mode)
{
	return Register([&](Slot& slot) {
		slot.fd = fd;
		slot.console = false;
		slot.mode = mode;
	});
}

int RegisterConsoleMode(int fd, int displayMode, int keyboardMode, int previousConsole)
{
	return Register([&](Slot& slot) {
		slot.fd = fd;
		slot.console = true;
		slot.displayMode = displayMode;
		slot.keyboardMode = keyboardMode;
		slot.previousConsole = previousConsole;
	});
}

void UnregisterTerminalMode(int slot)
{
	if (slot >= 0 && slot < kSlotCount)
		sSlots[slot].state.store(kFree);
}

void RestoreTerminalModes()
{
	for (Slot& slot : sSlots) {
		if (slot.state.load() != kReady)
			continue;
		if (!slot.console) {
			tcsetattr(slot.fd, TCSANOW, &slot.mode);
			continue;
		}
		ioctl(slot.fd, KDSKBMODE, slot.keyboardMode);
		ioctl(slot.fd, KDSETMODE, slot.displayMode);
		if (slot.previousConsole > 0)
			ioctl(slot.fd, VT_ACTIVATE, slot.previousConsole);
	}
}

} // namespace BPrivate
