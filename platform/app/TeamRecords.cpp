#include "app/TeamRecords.h"

namespace BPrivate {

TeamRecords& TeamRecords::Shared()
{
	static TeamRecords records;
	return records;
}

void TeamRecords::Record(pid_t pid, const TeamIdentity& identity)
{
	std::lock_guard<std::mutex> guard(fLock);
	fRecords[pid] = identity;
}

bool TeamRecords::Lookup(pid_t pid, TeamIdentity* identity) const
{
	std::lock_guard<std::mutex> guard(fLock);
	auto record = fRecords.find(pid);
	if (record == fRecords.end())
		return false;
	*identity = record->second;
	return true;
}

void TeamRecords::Forget(pid_t pid)
{
	std::lock_guard<std::mutex> guard(fLock);
	fRecords.erase(pid);
}

} // namespace BPrivate
