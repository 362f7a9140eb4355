#include "UserInterface.h"

#include <stdio.h>

#include <OS.h>

#include "MessageLines.h"

int32
UserInterface(void*)
{
	printf("UserInterface running\n");
	while (acquire_sem(quitUIRequested) == B_INTERRUPTED) {
	}
	printf("UserInterface exiting\n");
	return 0;
}
