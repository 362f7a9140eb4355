#pragma once

// The teams the roster has handed out, so that kill_team can tell them from a pid reused since.

#include <sys/types.h>

#include <map>
#include <mutex>

#include "app/TeamProcess.h"

namespace BPrivate {

// One per process (Shared()); any thread may call it.
class TeamRecords
{
public:
	static TeamRecords& Shared();

	// Remembers that `pid` was handed out as the process `identity`, replacing what was known.
	void Record(pid_t pid, const TeamIdentity& identity);
	// What was recorded for `pid`; false when nothing was.
	bool Lookup(pid_t pid, TeamIdentity* identity) const;
	void Forget(pid_t pid);

private:
	TeamRecords() = default;

	mutable std::mutex fLock;
	std::map<pid_t, TeamIdentity> fRecords;
};

} // namespace BPrivate
