#pragma once

// A pseudo-terminal standing in for the remote unit's serial line.

#include <string>

namespace UnitSim {

// Owns the master side of a pseudo-terminal, in raw mode, and one descriptor of its slave side.
// Holding the slave open keeps the master from reporting a hang-up while no program has the port
// open. Used by one thread at a time.
class PseudoTerminal
{
public:
	PseudoTerminal();
	~PseudoTerminal();

	PseudoTerminal(const PseudoTerminal&) = delete;
	PseudoTerminal& operator=(const PseudoTerminal&) = delete;

	// Opens a new pair. False, with a reason in `error`, when that fails.
	bool Open(std::string* error);
	// Closes both sides: whoever has the slave open sees a hang-up.
	void Close();

	bool IsOpen() const { return fMaster >= 0; }
	int Master() const { return fMaster; }
	// The unit's own descriptor on the program's side: what waits there is unread.
	int Slave() const { return fSlave; }
	const std::string& SlavePath() const { return fSlavePath; }

private:
	int fMaster;
	int fSlave;
	std::string fSlavePath;
};

} // namespace UnitSim
