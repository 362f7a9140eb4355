#include "support/ControllingTerminal.h"

#include <stdio.h>
#include <sys/sysmacros.h>

namespace BPrivate {

dev_t ControllingTerminalInStat(const std::string& stat)
{
	// Fields after the command, which is in parentheses and may hold anything: state, ppid,
	// pgrp, session, tty_nr.
	const size_t end = stat.rfind(')');
	if (end == std::string::npos)
		return 0;
	char state;
	int parent, group, session;
	unsigned long terminal;
	if (sscanf(stat.c_str() + end + 1, " %c %d %d %d %lu", &state, &parent, &group, &session,
	           &terminal) != 5 ||
	    terminal == 0)
		return 0;
	// The kernel's own encoding: minor bits 0-7 and 20-31, major bits 8-19.
	const unsigned int major = (terminal >> 8) & 0xfff;
	const unsigned int minor = (terminal & 0xff) | ((terminal >> 12) & 0xfff00);
	return makedev(major, minor);
}

} // namespace BPrivate
