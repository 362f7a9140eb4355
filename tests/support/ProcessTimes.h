#pragma once

#include <sys/types.h>

#include <chrono>

namespace VelmoTest {

// The processor time (user and system, all threads) process `pid` has used so far, as the real
// /proc reports it; negative when the process is gone or the entry cannot be read.
std::chrono::microseconds CpuTimeOf(pid_t pid);

} // namespace VelmoTest
