// The headless display's keyboard and the signal handling, on a real pseudo-terminal: a child
// process runs an application with a window whose view prints the keys it gets.

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <termios.h>

#include <gtest/gtest.h>

#include <Application.h>
#include <View.h>
#include <Window.h>

#include "platform/interface/headless/PtyChild.h"

namespace {

class KeyView : public BView
{
public:
	KeyView() : BView(BRect(0, 0, 99, 99), "keys", B_FOLLOW_NONE, B_WILL_DRAW) {}
	void KeyDown(const char* bytes, int32 numBytes) override
	{
		printf("key");
		for (int32 i = 0; i < numBytes; i++)
			printf(" %d", (uint8)bytes[i]);
		printf("\n");
		if (bytes[0] == B_ENTER)
			be_app_messenger.SendMessage(B_QUIT_REQUESTED);
	}
};

class KeyApplication : public BApplication
{
public:
	KeyApplication() : BApplication("application/x-vnd.test-keys")
	{
		BWindow* window = new BWindow(BRect(0, 0, 99, 99), "keys", B_BORDERED_WINDOW, 0);
		KeyView* view = new KeyView;
		window->AddChild(view);
		view->MakeFocus(true);
		window->Show();
	}
	void ReadyToRun() override { printf("ready\n"); }
};

// The child: runs the application until Enter, then says how the terminal was left.
int RunKeyApplication()
{
	setenv("BEOS_DISPLAY", "headless", 1);
	{
		KeyApplication application;
		application.Run();
	}
	struct termios mode;
	tcgetattr(STDIN_FILENO, &mode);
	printf("after icanon=%d echo=%d\n", (mode.c_lflag & ICANON) != 0, (mode.c_lflag & ECHO) != 0);
	fflush(stdout);
	return 0;
}

struct termios ModeOf(int fd)
{
	struct termios mode = {};
	EXPECT_EQ(0, tcgetattr(fd, &mode));
	return mode;
}

void ExpectRawMode(int fd)
{
	struct termios mode = ModeOf(fd);
	EXPECT_EQ(0u, mode.c_lflag & ICANON);
	EXPECT_EQ(0u, mode.c_lflag & ECHO);
	EXPECT_EQ(0u, mode.c_iflag & ICRNL);
	EXPECT_NE(0u, mode.c_lflag & ISIG) << "Ctrl-C must still raise SIGINT";
}

void ExpectCookedMode(int fd)
{
	struct termios mode = ModeOf(fd);
	EXPECT_NE(0u, mode.c_lflag & ICANON);
	EXPECT_NE(0u, mode.c_lflag & ECHO);
	EXPECT_NE(0u, mode.c_iflag & ICRNL);
}

} // namespace

TEST(HeadlessTerminal, KeysTypedReachTheFocusViewAndTheModeIsRestoredAtTheEnd)
{
	PtyChild child;
	ASSERT_TRUE(child.Start(RunKeyApplication));
	ASSERT_TRUE(child.WaitForText("ready\r\n")) << child.Output();
	ExpectRawMode(child.Master());

	child.Type("x\xc3\xa9\x1b[A\r");
	ASSERT_TRUE(child.WaitForText("key 10\r\n")) << child.Output();
	EXPECT_NE(std::string::npos,
	          child.Output().find("key 120\r\nkey 195 169\r\nkey 30\r\nkey 10\r\n"))
	    << child.Output();
	ASSERT_TRUE(child.WaitForText("after icanon=1 echo=1")) << child.Output();

	int status = 0;
	ASSERT_TRUE(child.WaitForExit(&status));
	EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
	EXPECT_EQ(std::string::npos, child.Output().find("Sanitizer")) << child.Output();
}

TEST(HeadlessTerminal, TerminatingSignalsEndTheProcessAndRestoreTheTerminal)
{
	for (int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
		SCOPED_TRACE(strsignal(signalNumber));
		PtyChild child;
		ASSERT_TRUE(child.Start(RunKeyApplication));
		ASSERT_TRUE(child.WaitForText("ready\r\n")) << child.Output();
		ExpectRawMode(child.Master());

		ASSERT_EQ(0, kill(child.Pid(), signalNumber));
		int status = 0;
		ASSERT_TRUE(child.WaitForExit(&status));
		EXPECT_TRUE(WIFSIGNALED(status)) << status;
		EXPECT_EQ(signalNumber, WTERMSIG(status));
		ExpectCookedMode(child.Master());
		// Nothing of the program ran after the signal, and no sanitizer spoke.
		EXPECT_EQ(std::string::npos, child.Output().find("after")) << child.Output();
		EXPECT_EQ(std::string::npos, child.Output().find("Sanitizer")) << child.Output();
	}
}

TEST(HeadlessTerminal, CtrlCTypedEndsTheProcessBySigint)
{
	PtyChild child;
	ASSERT_TRUE(child.Start(RunKeyApplication));
	ASSERT_TRUE(child.WaitForText("ready\r\n")) << child.Output();
	child.Type("\x03");
	int status = 0;
	ASSERT_TRUE(child.WaitForExit(&status));
	EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
	ExpectCookedMode(child.Master());
}
