#include "interface/headless/TerminalKeyboard.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <InterfaceDefs.h>

#include "app/TerminalRestore.h"

using BPrivate::TerminalKey;
using BPrivate::TerminalKeyboard;

namespace {

// A pseudo-terminal pair, closed on destruction.
class PseudoTerminal : public testing::Test
{
protected:
	void SetUp() override
	{
		ASSERT_EQ(0, openpty(&fMaster, &fSlave, nullptr, nullptr, nullptr));
		ASSERT_EQ(0, tcgetattr(fSlave, &fOriginal));
	}
	void TearDown() override
	{
		if (fMaster >= 0)
			close(fMaster);
		close(fSlave);
	}

	struct termios Mode() const
	{
		struct termios mode = {};
		EXPECT_EQ(0, tcgetattr(fSlave, &mode));
		return mode;
	}

	// Polls the terminal as the display does (10 s at most) and hands the result over.
	std::vector<std::string> ReadKeys(TerminalKeyboard& keyboard)
	{
		struct pollfd descriptor = {keyboard.Descriptor(), POLLIN, 0};
		EXPECT_EQ(1, poll(&descriptor, 1, 10000));
		std::vector<TerminalKey> keys;
		keyboard.HandlePoll(descriptor.revents, &keys);
		std::vector<std::string> result;
		for (const TerminalKey& key : keys)
			result.push_back(std::string(key.bytes, key.length));
		return result;
	}

	int fMaster = -1;
	int fSlave = -1;
	struct termios fOriginal;
};

} // namespace

TEST_F(PseudoTerminal, TheTerminalIsRawWhileTheKeyboardExistsAndRestoredAfter)
{
	{
		TerminalKeyboard keyboard(fSlave);
		EXPECT_TRUE(keyboard.IsActive());
		struct termios raw = Mode();
		EXPECT_EQ(0u, raw.c_lflag & (ICANON | ECHO));
		EXPECT_EQ(0u, raw.c_iflag & ICRNL);
		EXPECT_NE(0u, raw.c_lflag & ISIG);
	}
	struct termios after = Mode();
	EXPECT_EQ(fOriginal.c_lflag, after.c_lflag);
	EXPECT_EQ(fOriginal.c_iflag, after.c_iflag);
	EXPECT_EQ(fOriginal.c_oflag, after.c_oflag);
}

TEST_F(PseudoTerminal, TheModeToRestoreIsRegisteredForTheSignalHandler)
{
	TerminalKeyboard keyboard(fSlave);
	ASSERT_EQ(0u, Mode().c_lflag & ICANON);
	// What the signal handler runs.
	BPrivate::RestoreTerminalModes();
	EXPECT_EQ(fOriginal.c_lflag, Mode().c_lflag);
}

TEST_F(PseudoTerminal, TypedKeysAreDecoded)
{
	TerminalKeyboard keyboard(fSlave);
	const std::string typed = "a\r\xc3\xa9\x1b[B";
	ASSERT_EQ((ssize_t)typed.size(), write(fMaster, typed.data(), typed.size()));
	std::vector<std::string> keys;
	while (keys.size() < 4) {
		std::vector<std::string> more = ReadKeys(keyboard);
		ASSERT_FALSE(more.empty());
		keys.insert(keys.end(), more.begin(), more.end());
	}
	EXPECT_EQ((std::vector<std::string>{"a", std::string(1, B_ENTER), "\xc3\xa9",
	                                    std::string(1, B_DOWN_ARROW)}),
	          keys);
}

TEST_F(PseudoTerminal, AHangUpStopsTheReading)
{
	TerminalKeyboard keyboard(fSlave);
	close(fMaster);
	fMaster = -1;
	std::vector<std::string> keys = ReadKeys(keyboard);
	EXPECT_TRUE(keys.empty());
	EXPECT_FALSE(keyboard.IsActive());
}

TEST(TerminalKeyboard, ADescriptorThatIsNoTerminalIsNeverRead)
{
	int pipeEnds[2];
	ASSERT_EQ(0, pipe(pipeEnds));
	ASSERT_EQ(1, write(pipeEnds[1], "x", 1));
	{
		TerminalKeyboard keyboard(pipeEnds[0]);
		EXPECT_FALSE(keyboard.IsActive());
		std::vector<TerminalKey> keys;
		keyboard.HandlePoll(POLLIN, &keys);
		EXPECT_TRUE(keys.empty());
	}
	// The byte is still there: nothing read it.
	char byte = 0;
	EXPECT_EQ(1, read(pipeEnds[0], &byte, 1));
	EXPECT_EQ('x', byte);
	close(pipeEnds[0]);
	close(pipeEnds[1]);
}
