#pragma once

#include <SupportDefs.h>

// The "Installer" thread: the reset dialogue. Its argument is ignored.
int32 Installer(void* data);
