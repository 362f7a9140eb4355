#pragma once

#include <SupportDefs.h>

// The "UserInterface" thread: the remote unit's side of the dialogue. Its argument is ignored.
int32 UserInterface(void* data);
