#pragma once

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include <xf86drmMode.h>

#include "interface/drm/ScanoutBuffer.h"
#include "support/FileDescriptor.h"

namespace BPrivate {

// A graphics card driven through kernel mode setting, with this process as its DRM master: every
// connected screen shows a buffer of ours, black, in the mode the screen already has (or its
// preferred one when it was off). The modes are never changed. The first connected screen is the
// primary one, where the windows go.
//
// When the card is closed (here, or by the kernel when the process ends, whatever ended it) the
// kernel gives the screens back to the console. Main thread only.
class DrmCard
{
public:
	// Why no card could be taken, for the line that says so.
	struct Refusal
	{
		// False when there is no graphics card at all: then no screen was to be expected.
		bool cardFound = false;
		std::string reason;
	};

	// The first card (/dev/dri/card*, in order) that has a screen connected and that this process
	// can drive, or null and why not.
	static std::unique_ptr<DrmCard> OpenFirst(Refusal* refusal);

	~DrmCard();
	DrmCard(const DrmCard&) = delete;
	DrmCard& operator=(const DrmCard&) = delete;

	// The primary screen's buffer, as it is scanned out.
	const ScanoutBuffer& Primary() const { return fOutputs.front().buffer; }
	// Tells the card that `area` of the primary buffer changed: drivers that scan out a copy of
	// it (virtio-gpu) update their copy only when told.
	void Flush(BRect area);
	// Shows our buffers on every screen again: a console switched to text mode takes the screen
	// back from a DRM master.
	void ShowAgain();
	// "card0: Virtual-1 1280x800", for the line naming the display.
	const std::string& Description() const { return fDescription; }

private:
	struct Output
	{
		uint32_t connectorId = 0;
		uint32_t crtcId = 0;
		drmModeModeInfo mode = {};
		uint32_t width = 0;
		uint32_t height = 0;
		uint32_t handle = 0;
		uint32_t framebufferId = 0;
		size_t mappedSize = 0;
		ScanoutBuffer buffer = {};
	};

	explicit DrmCard(FileDescriptor fd);
	// Sets up every connected screen; false and why when the primary one cannot be.
	bool LightScreens(std::string* reason);
	bool CreateBuffer(Output* output, std::string* reason);
	void ReleaseBuffer(const Output& output);

	FileDescriptor fFd;
	std::string fName;
	std::string fDescription;
	std::vector<Output> fOutputs;
};

} // namespace BPrivate
