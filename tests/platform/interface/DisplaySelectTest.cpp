// Which display the platform takes where there is no screen to be had, and what it says about it.

#include "interface/Display.h"

#include <glob.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/ServiceNotifier.h"
#include "support/NotifyListener.h"
#include "support/TempDirectory.h"

using namespace std::chrono_literals;
using testing::HasSubstr;

namespace {

bool HasGraphicsCard()
{
	glob_t found;
	const bool any = glob("/dev/dri/card*", 0, nullptr, &found) == 0 && found.gl_pathc > 0;
	globfree(&found);
	return any;
}

// The environment of a machine with no display named in it.
void ClearDisplayEnvironment()
{
	for (const char* name : {"BEOS_DISPLAY", "DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER",
	                         "XDG_RUNTIME_DIR", "NOTIFY_SOCKET"})
		unsetenv(name);
}

} // namespace

// First: the process's service notifier is made with NOTIFY_SOCKET as it is at its first use.
TEST(DisplaySelect, AnXDisplayThatDoesNotOpenLeavesItHeadlessWithTheStatusSayingSo)
{
	if (HasGraphicsCard())
		GTEST_SKIP() << "this machine has a graphics card, which the display would take";
	ClearDisplayEnvironment();
	// A display number no server listens on.
	struct stat socketStat;
	ASSERT_NE(stat("/tmp/.X11-unix/X97", &socketStat), 0);
	setenv("DISPLAY", ":97", 1);
	VelmoTest::TempDirectory directory;
	VelmoTest::NotifyListener listener(directory.Path());
	ASSERT_TRUE(listener.IsListening());
	setenv("NOTIFY_SOCKET", listener.Address().c_str(), 1);

	testing::internal::CaptureStderr();
	std::unique_ptr<BPrivate::Display> display = BPrivate::CreateDisplay();
	const std::string errors = testing::internal::GetCapturedStderr();
	EXPECT_STREQ(display->Name(), "headless");
	EXPECT_THAT(errors, HasSubstr("display: headless, DISPLAY=:97 did not "
	                              "open\n"));

	BPrivate::ServiceNotifier& notifier = BPrivate::ServiceNotifier::Default();
	notifier.WindowShown();
	notifier.TextsDrawn({"Remove floppy", "Insert CD, ENTER"});
	ASSERT_TRUE(listener.WaitForCount(3, 10s));
	EXPECT_EQ(
	    listener.Datagrams(),
	    (std::vector<std::string>{
	        "READY=1", "STATUS=no screen (DISPLAY=:97 did not open)",
	        "STATUS=no screen (DISPLAY=:97 did not open): Remove floppy / Insert CD, ENTER"}));
	ClearDisplayEnvironment();
}

TEST(DisplaySelect, NoDisplayAndNoGraphicsCardIsHeadlessAsExpected)
{
	if (HasGraphicsCard())
		GTEST_SKIP() << "this machine has a graphics card, which the display would take";
	ClearDisplayEnvironment();
	testing::internal::CaptureStderr();
	std::unique_ptr<BPrivate::Display> display = BPrivate::CreateDisplay();
	EXPECT_EQ(testing::internal::GetCapturedStderr(),
	          "display: headless, no DISPLAY or WAYLAND_DISPLAY, no "
	          "graphics card\n");
	EXPECT_STREQ(display->Name(), "headless");

	// Chosen by name: not a word.
	setenv("BEOS_DISPLAY", "headless", 1);
	display.reset();
	testing::internal::CaptureStderr();
	display = BPrivate::CreateDisplay();
	EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
	ClearDisplayEnvironment();
}
