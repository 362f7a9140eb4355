#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/ImageFiles.h"
#include "support/TempDirectory.h"

namespace VelmoTest {

// A private Wayland compositor run headless (no GPU, no input devices) for tests that look at the
// screen as a person would: sway with one output of 1920 x 1080, or cage with its one output as
// wlroots makes it (1280 x 720). Both refuse to run as root: as root, the compositor runs as an
// unprivileged user of its own (created the first time), in a runtime directory of its own (0700,
// that user's). The program under test reaches it through WAYLAND_DISPLAY set to the socket's
// absolute path (root may open it). The compositor is killed and reaped when the object goes.
// One thread at a time.
class WaylandCompositor
{
public:
	enum class Kind
	{
		kSway,
		kCage,
	};

	struct Options
	{
		// sway only: XWayland started at once, its display in XDisplay() and open to root.
		bool xwayland = false;
	};

	// Starts the compositor and waits until it takes connections. Null with the reason in *error
	// when it cannot start at all (not installed, say).
	static std::unique_ptr<WaylandCompositor> Start(Kind kind, std::string* error);
	static std::unique_ptr<WaylandCompositor> Start(Kind kind, const Options& options,
	                                                std::string* error);
	~WaylandCompositor();

	WaylandCompositor(const WaylandCompositor&) = delete;
	WaylandCompositor& operator=(const WaylandCompositor&) = delete;

	// What a client of this compositor needs in its environment: WAYLAND_DISPLAY (an absolute
	// path) and XDG_RUNTIME_DIR.
	std::map<std::string, std::string> ClientEnvironment() const;
	// With Options::xwayland: ":N", for DISPLAY.
	const std::string& XDisplay() const { return fXDisplay; }

	// Runs `path` with `arguments` as a client and waits for it, at most `timeout`; true when it
	// exited with 0, why not in *error.
	bool Run(const std::string& path, const std::vector<std::string>& arguments,
	         std::string* error = nullptr,
	         std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;
	// The whole output (grim); false with the reason in *error.
	bool Screenshot(ImageFiles::Image* image, std::string* error = nullptr) const;

	// Ends the compositor at once (SIGKILL), as a crash would; its clients lose their connections.
	void Kill();

	// The end of what the compositor wrote on its standard error so far, for a failure's message.
	std::string LogTail() const;

private:
	WaylandCompositor() = default;
	bool StartXWayland(std::string* error);

	TempDirectory fRuntime{"velmo-wayland"};
	std::string fSocket;
	std::string fXDisplay;
	ChildProcess fServer;
};

} // namespace VelmoTest
