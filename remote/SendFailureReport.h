#pragma once

// How failed sends are reported. Every failed byte used to print its own line; with the port gone
// that is some 1,700 lines a second, and a journal that limits a service's rate then drops the
// dialogue's own lines with them. So a failure is printed as before when it starts, and its
// repeats are counted and told on standard error at most once a second, with their count. Used by
// the remote-unit thread only, as the rest of the module.

#include <OS.h>
#include <SupportDefs.h>

class SendFailureReport
{
public:
	static const bigtime_t kReportInterval = 1000000;

	SendFailureReport();

	// The send of `byte` failed with `result` (what the port's Write returned). The first failure,
	// or one with another result than the failure before, prints "ERROR sending byte %02x"; a
	// repeat is counted, and the count told once kReportInterval has passed since the last line.
	void Failed(uint8 byte, ssize_t result);
	// A send worked: repeats not told yet are told now, and the next failure is a new one.
	void Succeeded();
	// Tells the repeats not told yet (the port is closed).
	void Flush();

private:
	void TellRepeats(bigtime_t now);

	bool fFailing;
	ssize_t fResult;
	int32 fRepeats;
	uint8 fLastByte;
	bigtime_t fSince;
};
