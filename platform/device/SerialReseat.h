#pragma once

// What a BSerialPort remembers to open its device again after it went away, and to say on standard
// error what is missing.

#include <set>
#include <string>
#include <vector>

#include <OS.h>
#include <SupportDefs.h>

namespace BPrivate {

// A hang-up or a removal (a loose cable, a reseated USB adapter) leaves the port's owner writing
// into nothing for good: the program's code opens its port once. So the port keeps the name it
// opened and opens it again, at most every kReopenInterval, until it opens. Standard output is
// the program's; the one-line notices go to standard error. Used by its port's one thread.
class SerialReseat
{
public:
	static const bigtime_t kReopenInterval = 500000;

	SerialReseat();

	// The devices were listed afresh: the names tried before are forgotten.
	void Listed();
	void OpenFailed(const char* name, status_t error);
	// `name` was not opened because the system uses the terminal (`why`): says so, once a name.
	void PassedOver(const char* name, const char* why);
	// The owner opened `name`: it is the one to open again.
	void Opened(const char* name);
	// The owner closed the port: nothing is to be opened again.
	void Closed();

	// An operation on a port that is not open. After a listing or opens that all failed, says
	// once that no port could be opened, and which names were tried.
	void NotOpen();

	// The device in use hung up or went away: says so; the first try comes an interval later.
	void WentAway(bigtime_t now);
	// Whether to try opening the device again at `now`: away, and an interval since the last try.
	bool IsDue(bigtime_t now);
	const std::string& Name() const { return fName; }
	// The device opened again: says so.
	void CameBack();

private:
	std::string fName;
	bool fAway;
	bigtime_t fNextAttempt;
	// Since the last listing or successful open: whether there was a listing, what failed to
	// open and why, and whether that was told.
	bool fListed;
	std::vector<std::string> fTried;
	bool fTold;
	std::set<std::string> fPassedOver;
};

} // namespace BPrivate
