#include "app/ServiceNotifier.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "app/NotifySocket.h"

namespace BPrivate {

namespace {

bool IsSpace(char c)
{
	return c == ' ' || c == '\t';
}

std::string Trimmed(const std::string& text)
{
	std::string line = text;
	// A newline would end the assignment and start another.
	for (char& c : line) {
		if ((unsigned char)c < 0x20 || c == 0x7f)
			c = ' ';
	}
	size_t first = 0;
	while (first < line.size() && IsSpace(line[first]))
		first++;
	size_t last = line.size();
	while (last > first && IsSpace(line[last - 1]))
		last--;
	return line.substr(first, last - first);
}

} // namespace

ServiceNotifier::ServiceNotifier()
    : fEnabled(getenv("NOTIFY_SOCKET") != NULL), fReady(false), fStopping(false)
{
	if (fEnabled)
		fSocket = std::make_unique<NotifySocket>(getenv("NOTIFY_SOCKET"));
}

ServiceNotifier::~ServiceNotifier() = default;

ServiceNotifier& ServiceNotifier::Default()
{
	// Never destroyed: a window thread or a late Quit may still tell it while statics go.
	static ServiceNotifier* notifier = new ServiceNotifier;
	return *notifier;
}

void ServiceNotifier::WindowShown()
{
	if (!fEnabled)
		return;
	std::lock_guard<std::mutex> lock(fLock);
	if (fReady)
		return;
	fReady = true;
	Send("READY=1");
	// Text a window drew before it was on the display is on the screen from now on.
	if ((!fStatus.empty() || !fScreenMissing.empty()) && !fStopping)
		SendStatus();
}

void ServiceNotifier::ScreenMissing(const std::string& reason)
{
	if (!fEnabled)
		return;
	std::lock_guard<std::mutex> lock(fLock);
	fScreenMissing = "no screen (" + Trimmed(reason) + ")";
}

void ServiceNotifier::TextsDrawn(const std::vector<std::string>& texts)
{
	if (!fEnabled)
		return;
	const std::string status = StatusFor(texts);
	if (status.empty())
		return;
	std::lock_guard<std::mutex> lock(fLock);
	// After STOPPING=1 the status says why; a last repaint must not take that back.
	if (fStopping || status == fStatus)
		return;
	fStatus = status;
	if (fReady)
		SendStatus();
}

void ServiceNotifier::Quitting(uint32 messageCode)
{
	if (!fEnabled)
		return;
	std::lock_guard<std::mutex> lock(fLock);
	if (fStopping)
		return;
	fStopping = true;
	fStatus = QuittingStatus(messageCode);
	Send("STOPPING=1\nSTATUS=" + fStatus);
}

std::string ServiceNotifier::StatusFor(const std::vector<std::string>& texts)
{
	std::string status;
	for (const std::string& text : texts) {
		const std::string line = Trimmed(text);
		if (line.empty())
			continue;
		if (!status.empty())
			status += " / ";
		status += line;
	}
	return status;
}

std::string ServiceNotifier::QuittingStatus(uint32 messageCode)
{
	if (messageCode == 0)
		return "Quitting";
	char code[16];
	const char bytes[4] = {(char)(messageCode >> 24), (char)(messageCode >> 16),
	                       (char)(messageCode >> 8), (char)messageCode};
	bool printable = true;
	for (char c : bytes)
		printable = printable && c >= 0x20 && c < 0x7f;
	if (printable)
		snprintf(code, sizeof(code), "'%c%c%c%c'", bytes[0], bytes[1], bytes[2], bytes[3]);
	else
		snprintf(code, sizeof(code), "0x%08x", (unsigned)messageCode);
	return std::string("Quitting on message ") + code;
}

void ServiceNotifier::SendStatus()
{
	if (fScreenMissing.empty())
		Send("STATUS=" + fStatus);
	else if (fStatus.empty())
		Send("STATUS=" + fScreenMissing);
	else
		Send("STATUS=" + fScreenMissing + ": " + fStatus);
}

void ServiceNotifier::Send(const std::string& assignments)
{
	// One datagram to the manager's socket, never waited for (a manager that does not read must
	// not stop a window). A later status replaces a plain one: only those may be dropped.
	fSocket->Send(assignments, assignments.rfind("STATUS=", 0) == 0);
}

} // namespace BPrivate
