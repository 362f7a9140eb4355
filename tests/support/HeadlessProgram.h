#pragma once

#include "support/ProgramRun.h"
#include "support/TempDirectory.h"

namespace VelmoTest {

// How the system tests and benchmarks run the program: in `root`, on the headless display (no X
// server or Wayland compositor the test's own environment may name, no service manager), on a
// terminal of its own.
ProgramRun::Options HeadlessOptions(const PlatformRootDirectory& root);

} // namespace VelmoTest
