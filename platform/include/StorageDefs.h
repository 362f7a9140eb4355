#pragma once

// Limits of the Storage Kit. B_OS_NAME_LENGTH lives in OS.h.

// Longest path, terminating NUL included.
#define B_PATH_NAME_LENGTH 1024
// Longest entry name, terminating NUL included.
#define B_FILE_NAME_LENGTH 256
