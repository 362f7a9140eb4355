#pragma once

#include <atomic>

#include <SupportDefs.h>

// The "Installer" thread: the reset dialogue. Its argument is ignored.
int32 Installer(void* data);

// Set by the installer just before it sends its own reset request.
extern std::atomic<bool> installerRequestedReset;
