#include "Installer.h"

#include <stdio.h>
#include <unistd.h>

#include <Application.h>
#include <Invoker.h>
#include <Message.h>
#include <Messenger.h>
#include <OS.h>

#include "MessageLines.h"
#include "VelmoReset.h"

std::atomic<bool> installerRequestedReset(false);

int32
Installer(void*)
{
	const int32 mode = 0;
	printf("Installer running (default mode = %d)\n", (int)mode);

	M_ShowMessage("Remove floppy   ", "Insert CD, ENTER");
	// Not examined: when the 24 hours run out, the reset goes on as after ENTER.
	M_GetKeypress("\n", 0);

	M_ShowMessage("Rebooting VELMO ", "  please wait   ");
	sleep(3);

	BMessage* request = new BMessage(kResetRequest);
	request->AddInt32("which", mode);
	installerRequestedReset = true;
	BInvoker invoker(request, BMessenger(be_app_messenger)); // takes over the message
	invoker.Invoke();

	acquire_sem(quitInstallerRequested);
	printf("Installer exiting\n");
	return 0;
}
