#pragma once

// A real pseudo-terminal for serial tests: the test plays the device on the master side while
// the code under test opens the slave as its serial port.

#include <stddef.h>
#include <stdint.h>

#include <chrono>
#include <string>
#include <vector>

namespace VelmoTest {

// Owns the master and one descriptor of the slave, held open so that the pair lives on whoever
// opens or closes the slave, and so that the slave's settings can be read at any time. Not
// thread-safe: one test thread uses it.
class PtyPair
{
public:
	typedef std::chrono::steady_clock Clock;

	// Opens a pair; throws std::runtime_error when the machine has no pseudo-terminals.
	PtyPair();
	~PtyPair();

	PtyPair(const PtyPair&) = delete;
	PtyPair& operator=(const PtyPair&) = delete;

	int Master() const { return fMaster; }
	int HeldSlave() const { return fSlave; }
	const std::string& SlavePath() const { return fSlavePath; }

	// Makes `root`/dev/ports/`name` a symbolic link to the slave, creating the directories.
	void LinkInto(const std::string& root, const std::string& name) const;

	// Writes all of `bytes` to the master (the device sends them).
	void Send(const std::vector<uint8_t>& bytes) const;
	// Waits until what was sent can be read on the slave side.
	bool WaitUntilSlaveReadable(Clock::duration timeout = std::chrono::seconds(5)) const;
	// Reads what the slave side wrote, until `count` bytes came or the time-out passed.
	std::vector<uint8_t> Receive(size_t count,
	                             Clock::duration timeout = std::chrono::seconds(5)) const;
	// Everything the slave side wrote and that is there now (after a short settling wait).
	std::vector<uint8_t> Drain() const;

	// Closes master and held slave: the port's user sees a hang-up.
	void HangUp();

private:
	int fMaster;
	int fSlave;
	std::string fSlavePath;
};

} // namespace VelmoTest
