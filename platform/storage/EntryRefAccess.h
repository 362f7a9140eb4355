#pragma once

// The layer's way into the host location an entry_ref keeps for itself.

#include <string>

#include <Entry.h>

namespace BPrivate {

struct EntryRefAccess
{
	// The host path of the directory, or NULL for a reference made by hand.
	static const char* HostDirectory(const entry_ref& ref) { return ref.fHostDirectory; }
	// Takes a copy; false when out of memory (the reference then has no host directory).
	static bool SetHostDirectory(entry_ref& ref, const char* hostDirectory);
	// The host path of the entry itself, or "" when the reference has no host directory or name.
	static std::string HostPath(const entry_ref& ref);
};

} // namespace BPrivate
