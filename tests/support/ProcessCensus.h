#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace VelmoTest {

// What a process holds, as Linux's /proc shows it from outside: for the tests that check nothing
// is left behind. Plain functions, callable from any thread; a process that has gone reads as -1
// (counts) or an empty list.

// Entries in /proc/PID/fd: the descriptors the process holds open.
int OpenDescriptorCount(pid_t pid);

// "N -> what it refers to" for each descriptor of the process, for messages.
std::vector<std::string> OpenDescriptorTargets(pid_t pid);
// Entries in /proc/PID/task.
int ThreadCount(pid_t pid);
// Each thread's name, state and kernel wait channel, and the process's signal masks, one per
// line: what a process that does not end when it should is doing, for messages.
std::string ThreadStates(pid_t pid);
// The processes (not zombies) whose session is `session`: what a program started as a session
// leader, as on a terminal of its own, left running.
std::vector<pid_t> LiveProcessesInSession(pid_t session);
// The names of the entries in `directory`; empty if it cannot be read.
std::vector<std::string> DirectoryEntries(const std::string& directory);

} // namespace VelmoTest
