#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "support/ImageFiles.h"

namespace VelmoTest {

// Watches the snapshots a program on the headless display writes (BEOS_FRAMEBUFFER_PNG=PATH):
// the display writes each one to PATH.tmp and renames it to PATH, so a rename is a whole image.
// One thread at a time may use a FramebufferSnapshots.
class FramebufferSnapshots
{
public:
	// Watches `path`, whose directory must exist; nothing is seen if it cannot be watched.
	explicit FramebufferSnapshots(const std::string& path);
	~FramebufferSnapshots();

	FramebufferSnapshots(const FramebufferSnapshots&) = delete;
	FramebufferSnapshots& operator=(const FramebufferSnapshots&) = delete;

	const std::string& Path() const { return fPath; }

	// Forgets the snapshots written so far.
	void Drain();

	struct Snapshot
	{
		ImageFiles::Image image;
		// When the display began writing it (its temporary file appeared; the paint was done)
		// and when it was renamed into place, both as this watcher saw them.
		std::chrono::steady_clock::time_point begun;
		std::chrono::steady_clock::time_point done;
	};

	// Waits for the next snapshot that satisfies `wanted`, at most until `deadline`.
	bool WaitFor(const std::function<bool(const ImageFiles::Image&)>& wanted,
	             std::chrono::steady_clock::time_point deadline, Snapshot* snapshot);

private:
	const std::string fPath;
	std::string fDirectory;
	std::string fName;
	int fFd;
};

} // namespace VelmoTest
