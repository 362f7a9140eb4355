#pragma once

// BRoster: which applications run, and their teams.

#include <OS.h>

struct entry_ref;

// On Linux there is no registry of applications: a team is a process, and a program "started from
// a file" is a process whose executable is that very file (same device and inode). A script runs
// as its interpreter and is therefore not found. May be called from any thread.
class BRoster
{
public:
	BRoster();
	~BRoster();

	// Whether a process runs the executable `ref` names. NULL or an unresolvable ref: false.
	bool IsRunning(const entry_ref* ref) const;
	// No application signatures are registered on Linux: always false.
	bool IsRunning(const char* signature) const;

	// A team running the executable `ref` names (the lowest process id when several do), or
	// B_ERROR when none does. kill_team later refuses the id if it then names another process.
	team_id TeamFor(const entry_ref* ref) const;
	// No application signatures are registered on Linux: always B_ERROR.
	team_id TeamFor(const char* signature) const;

private:
	BRoster(const BRoster&) = delete;
	BRoster& operator=(const BRoster&) = delete;
};

// The roster of this process; always there.
extern const BRoster* be_roster;
