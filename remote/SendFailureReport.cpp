#include "SendFailureReport.h"

#include <stdio.h>

SendFailureReport::SendFailureReport()
    : fFailing(false), fResult(0), fRepeats(0), fLastByte(0), fSince(0)
{
}

void SendFailureReport::Failed(uint8 byte, ssize_t result)
{
	bigtime_t now = system_time();
	if (fFailing && result == fResult) {
		fRepeats++;
		fLastByte = byte;
		if (now - fSince >= kReportInterval)
			TellRepeats(now);
		return;
	}
	TellRepeats(now);
	fFailing = true;
	fResult = result;
	fSince = now;
	printf("ERROR sending byte %02x\n", byte);
}

void SendFailureReport::Succeeded()
{
	if (!fFailing)
		return;
	TellRepeats(system_time());
	fFailing = false;
}

void SendFailureReport::Flush()
{
	TellRepeats(system_time());
}

void SendFailureReport::TellRepeats(bigtime_t now)
{
	if (fRepeats > 0) {
		// Standard output keeps the first line of each failure; the count is a notice.
		fprintf(stderr,
		        "remote: sending failed %d more time%s in the same way, the last byte %02x\n",
		        (int)fRepeats, fRepeats == 1 ? "" : "s", fLastByte);
	}
	fRepeats = 0;
	fSince = now;
}
