#include "VelmoReset.h"

#include <stdio.h>

#include <Entry.h>
#include <Message.h>
#include <OS.h>
#include <Path.h>
#include <Roster.h>

#include "Installer.h"
#include "MessageLines.h"
#include "ResetWindow.h"
#include "UserInterface.h"

const char* APP_SIGNATURE = "application/x-vnd.VELMO-Reset";

const rgb_color Black = {0, 0, 0, 255};
const rgb_color kaPurple = {132, 66, 255, 255};

// How long a killed VelmoLaunch may take to be gone. Until it is, it may still hold the remote
// unit's serial port, which the remote-unit thread is about to open.
static const bigtime_t kTerminateWait = 2000000;
static const bigtime_t kTerminatePoll = 5000;

// How long a request from another sender may wait for room in the key queue.
static const bigtime_t kConfirmWait = 1000000;

VelmoReset::VelmoReset()
	:
	BApplication(APP_SIGNATURE),
	window(NULL),
	uiThread(-1),
	installerThread(-1)
{
	HideCursor();
	window = new ResetWindow(BRect(0, 0, 1023, 767));
}

VelmoReset::~VelmoReset()
{
}

void
VelmoReset::ReadyToRun()
{
	printf("VelmoReset::ReadyToRun(): Checking if we need to terminate VelmoLaunch ...\n");
	if (TerminateVelmoLaunch())
		printf("VelmoReset::ReadyToRun(): VelmoLaunch terminated.\n");
	else
		printf("VelmoReset::ReadyToRun(): VelmoLaunch not running, no need to terminate it.\n");

	keyQueue = create_port(16, "KeyQueue");
	quitUIRequested = create_sem(0, "QuitUIRequested");
	quitInstallerRequested = create_sem(0, "QuitInstallerRequested");
	if (keyQueue < 0 || quitUIRequested < 0 || quitInstallerRequested < 0)
		return;

	uiThread = spawn_thread(UserInterface, "UserInterface", B_DISPLAY_PRIORITY, NULL);
	resume_thread(uiThread);
	installerThread = spawn_thread(Installer, "Installer", B_NORMAL_PRIORITY, NULL);
	resume_thread(installerThread);
}

void
VelmoReset::MessageReceived(BMessage* message)
{
	int32 mode;
	if (message->what != kResetRequest || message->FindInt32("which", &mode) != B_OK) {
		BApplication::MessageReceived(message);
		return;
	}

	if (installerThread >= 0 && !installerRequestedReset) {
		// A request from another sender while the installer is still in its dialogue. Shutting
		// down now would wait for the dialogue to finish (up to 24 hours), and the installer's own
		// request would then never be handled. Take it as the operator's confirmation instead:
		// the dialogue announces the reboot and ends with its own request, as after ENTER. Once
		// the installer has announced, the ENTER goes unread, which is harmless.
		write_port_etc(keyQueue, '\n', NULL, 0, B_RELATIVE_TIMEOUT, kConfirmWait);
		return;
	}

	printf("Reset with mode = %d\n", (int)mode);

	status_t exitValue;
	suspend_thread(installerThread);
	release_sem(quitInstallerRequested);
	wait_for_thread(installerThread, &exitValue);

	suspend_thread(uiThread);
	release_sem(quitUIRequested);
	wait_for_thread(uiThread, &exitValue);

	delete_sem(quitInstallerRequested);
	delete_sem(quitUIRequested);
	delete_port(keyQueue);

	Quit();
}

bool
TerminateVelmoLaunch()
{
	BPath path("/boot/home/velmo/VelmoLaunch", NULL, false);
	entry_ref ref;
	get_ref_for_path(path.Path(), &ref);

	if (!be_roster->IsRunning(&ref))
		return false;

	team_id team = be_roster->TeamFor(&ref);
	kill_team(team);

	// The kill does not wait; wait here until that team is gone (its descriptors closed), but
	// not forever.
	bigtime_t deadline = system_time() + kTerminateWait;
	while (be_roster->TeamFor(&ref) == team && system_time() < deadline)
		snooze(kTerminatePoll);
	return true;
}
