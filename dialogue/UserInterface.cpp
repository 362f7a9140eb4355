#include "UserInterface.h"

#include <stdio.h>

#include <OS.h>

#include "MessageLines.h"
#include "remoteBus.h"

namespace {

// The pause between passes, which is also how long a stop request may wait to be seen.
const bigtime_t kPassPause = 20000;

} // namespace

int32 UserInterface(void*)
{
	printf("UserInterface running\n");
	RB_Init();

	char line1[kMessageLineSize];
	char line2[kMessageLineSize];
	for (;;) {
		// Both lines in one step: the installer may publish a new pair at any moment.
		M_ReadMessage(line1, line2);
		// The whole LCD, every pass, changed or not: a unit that was switched off and on again
		// shows the message within one pass.
		if (line1[0] != '\0')
			RB_ShowMessage(line1, line2);

		char key = RB_GetKeypress();
		// Never waits: with the queue full the key is dropped, so that shut-down, which stops
		// the installer (the queue's reader) first, can never leave this thread stuck here.
		if (key != 0)
			M_WriteKey(key);

		if (acquire_sem_etc(quitUIRequested, 1, B_RELATIVE_TIMEOUT, kPassPause) == B_OK)
			break;
	}

	RB_Quit();
	printf("UserInterface exiting\n");
	return 0;
}
