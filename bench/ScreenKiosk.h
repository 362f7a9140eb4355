#pragma once

// The programs ScreenBench measures, each with a simulated unit of its own on a fresh platform
// root: the kiosk's program, and the minimal loop asking in the same protocol. Header only.

#include <signal.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ScreenShared.h"
#include "support/ImageFiles.h"
#include "support/ProgramRun.h"
#include "support/TempDirectory.h"
#include "unit-sim/UnitSimulator.h"

namespace ScreenBench {

// One run of the program with a logo and the simulated unit on dev/ports/serial1.
class Kiosk
{
public:
	Kiosk() = default;
	Kiosk(const Kiosk&) = delete;
	Kiosk& operator=(const Kiosk&) = delete;

	// `environment` on top of the platform root's; false with the reason in *error.
	bool Start(const std::map<std::string, std::string>& environment,
	           const std::vector<std::string>& unset, std::string* error)
	{
		if (!ImageFiles::WriteBmp(fRoot.LogoPath(), ImageFiles::Pattern(200, 150), 24)) {
			*error = "cannot write the logo";
			return false;
		}
		fUnit = std::make_unique<UnitSim::UnitSimulator>(fRoot.Path(), "serial1");
		if (!fUnit->Start(error))
			return false;
		ProgramRun::Options options;
		options.environment = environment;
		options.environment["BEOS_ROOT"] = fRoot.Path();
		options.unsetEnvironment = unset;
		fProgram = std::make_unique<ProgramRun>(VelmoResetPath(), options);
		if (!fProgram->WaitForLine(kQuestionLine2, 20s)) {
			*error = "the program never asked:\n" + fProgram->Output();
			return false;
		}
		if (!fUnit->WaitForLcd("Remove floppy   ", kQuestionLine2, Clock::now() + 20s)) {
			*error = "the unit's LCD never showed the question:\n" + fProgram->Output();
			return false;
		}
		return true;
	}

	const PlatformRootDirectory& Root() const { return fRoot; }
	UnitSim::UnitSimulator& Unit() { return *fUnit; }
	ProgramRun& Program() { return *fProgram; }

	void Stop()
	{
		fProgram->Signal(SIGTERM);
		fProgram->WaitForExit(5s);
	}

private:
	PlatformRootDirectory fRoot;
	std::unique_ptr<UnitSim::UnitSimulator> fUnit;
	std::unique_ptr<ProgramRun> fProgram;
};

// The reference for the CPU used while asking: VelmoAskingLoop, the unit's protocol in a plain
// POSIX loop, with a simulated unit of its own like the kiosk's.
class AskingLoopRun
{
public:
	AskingLoopRun() = default;
	AskingLoopRun(const AskingLoopRun&) = delete;
	AskingLoopRun& operator=(const AskingLoopRun&) = delete;

	// False with the reason in *error.
	bool Start(std::string* error)
	{
		fUnit = std::make_unique<UnitSim::UnitSimulator>(fRoot.Path(), "serial1");
		if (!fUnit->Start(error))
			return false;
		ProgramRun::Options options;
		options.arguments = {fUnit->LinkPath(), "Remove floppy   ", kQuestionLine2};
		options.onTerminal = false;
		fLoop = std::make_unique<ProgramRun>(
		    std::string(VELMO_BUILD_DIR) + "/bench/VelmoAskingLoop", options);
		if (!fUnit->WaitForLcd("Remove floppy   ", kQuestionLine2, Clock::now() + 20s)) {
			*error = "the loop never asked on its unit:\n" + fLoop->Output();
			return false;
		}
		return true;
	}

	UnitSim::UnitSimulator& Unit() { return *fUnit; }
	ProgramRun& Loop() { return *fLoop; }

	void Stop()
	{
		fLoop->Signal(SIGTERM);
		fLoop->WaitForExit(5s);
	}

private:
	PlatformRootDirectory fRoot;
	std::unique_ptr<UnitSim::UnitSimulator> fUnit;
	std::unique_ptr<ProgramRun> fLoop;
};

} // namespace ScreenBench
