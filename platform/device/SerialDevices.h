#pragma once

// Where the serial devices of BSerialPort are found on this machine.

#include <string>
#include <vector>

namespace BPrivate {

// The device names, sorted: the entries of /dev/ports under the platform root when that directory
// exists (dangling links included: they are devices that fail to open), else the machine's serial
// ports ("ttyS0", "ttyUSB0"), found in /sys/class/tty.
std::vector<std::string> ListSerialDevices();

// The host path of a device: a name without '/' is looked up in /dev/ports under the platform root
// when that directory exists, else in the machine's /dev; a path is a BeOS path under the root.
std::string SerialDevicePath(const char* name);

} // namespace BPrivate
