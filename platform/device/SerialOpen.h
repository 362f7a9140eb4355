#pragma once

// Opening a serial device for BSerialPort, the first time and again after it went away.

#include <string>

#include <SupportDefs.h>

namespace BPrivate {

// Opens the host device at `path` for reading and writing, never as the controlling terminal and
// without waiting for a carrier, for this object's exclusive use, and asks the driver for
// low-latency delivery. Puts the descriptor (above 0) in `descriptor`; B_OK, B_BUSY when another
// opener holds the device, or the error of open().
status_t OpenSerialDevice(const std::string& path, int* descriptor);

// Asks the driver of the serial device `descriptor` to hand received bytes over at once: USB
// serial drivers then flush their latency timer every millisecond instead of every 16. Whether
// the driver took it; a pseudo-terminal or a plain UART's driver refuses, which changes nothing.
bool RequestLowLatency(int descriptor);

} // namespace BPrivate
