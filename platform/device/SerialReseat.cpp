#include "device/SerialReseat.h"

#include <stdio.h>

#include <algorithm>

#include <Errors.h>

namespace BPrivate {

namespace {

const char* Reason(status_t error)
{
	switch (error) {
	case B_BUSY:
		return "in use";
	case B_ENTRY_NOT_FOUND:
		return "not found";
	case B_PERMISSION_DENIED:
		return "not permitted";
	default:
		return "cannot be opened";
	}
}

} // namespace

SerialReseat::SerialReseat() : fAway(false), fNextAttempt(0), fListed(false), fTold(false) {}

void SerialReseat::Listed()
{
	fListed = true;
	fTried.clear();
	fTold = false;
}

void SerialReseat::OpenFailed(const char* name, status_t error)
{
	fTried.push_back(std::string(name != nullptr ? name : "") + " (" + Reason(error) + ")");
	fTold = false;
}

void SerialReseat::PassedOver(const char* name, const char* why)
{
	const std::string text = name != nullptr ? name : "";
	const std::string tried = text + " (" + why + ")";
	if (std::find(fTried.begin(), fTried.end(), tried) == fTried.end()) {
		fTried.push_back(tried);
		fTold = false;
	}
	if (fPassedOver.insert(text).second)
		fprintf(stderr, "serial: passed over %s: %s\n", text.c_str(), why);
}

void SerialReseat::Opened(const char* name)
{
	fName = name;
	fAway = false;
	fListed = false;
	fTried.clear();
	fTold = false;
}

void SerialReseat::Closed()
{
	fName.clear();
	fAway = false;
}

void SerialReseat::NotOpen()
{
	if (fTold || (!fListed && fTried.empty()))
		return;
	fTold = true;
	// One call, one line: standard error is unbuffered, and lines of other threads may come
	// between two calls.
	if (fTried.empty()) {
		fprintf(stderr, "serial: no port could be opened; none was found\n");
		return;
	}
	std::string names;
	for (const std::string& tried : fTried)
		names += (names.empty() ? "" : ", ") + tried;
	fprintf(stderr, "serial: no port could be opened; tried %s\n", names.c_str());
}

void SerialReseat::WentAway(bigtime_t now)
{
	if (fAway || fName.empty())
		return;
	fAway = true;
	fNextAttempt = now + kReopenInterval;
	fprintf(stderr, "serial: %s went away; opening it again every 0.5 s\n", fName.c_str());
}

bool SerialReseat::IsDue(bigtime_t now)
{
	if (!fAway || now < fNextAttempt)
		return false;
	fNextAttempt = now + kReopenInterval;
	return true;
}

void SerialReseat::CameBack()
{
	fAway = false;
	fprintf(stderr, "serial: %s is back\n", fName.c_str());
}

} // namespace BPrivate
