#pragma once

// Header only: it needs the simulated unit, which the test and benchmark executables link but the
// support library does not.

#include <memory>
#include <string>

#include "support/HeadlessProgram.h"
#include "support/ProgramRun.h"
#include "support/TempDirectory.h"
#include "unit-sim/UnitSimulator.h"

namespace VelmoTest {

// The whole program against a simulated remote unit: a fresh platform root, the unit linked into
// its dev/ports under `portName`, and the program, started only once the unit is there (the
// program looks for ports once, at start). Members are public: tests drive the unit and read the
// program directly. The test's thread alone uses the rig; the unit and the run are thread-safe.
class RemoteUnitRig
{
public:
	explicit RemoteUnitRig(UnitSim::Options options = UnitSim::Options(),
	                       const std::string& portName = "serial1")
	    : unit(root.Path(), portName, options)
	{
	}

	// Starts the unit; false with the reason in `error`.
	bool StartUnit(std::string* error) { return unit.Start(error); }

	ProgramRun& StartProgram()
	{
		program = std::make_unique<ProgramRun>(VelmoResetPath(), HeadlessOptions(root));
		return *program;
	}

	// Declared in this order so that the program goes first, then the unit, then the root.
	PlatformRootDirectory root;
	UnitSim::UnitSimulator unit;
	std::unique_ptr<ProgramRun> program;
};

} // namespace VelmoTest
