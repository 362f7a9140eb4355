#include "support/WindowManager.h"

#include <unistd.h>

#include <chrono>

#include "support/Eventually.h"

namespace VelmoTest {

namespace {

const char* const kStartedMark = "started";

} // namespace

std::unique_ptr<WindowManager> WindowManager::Start(const Xvfb& server, std::string* error)
{
	std::unique_ptr<WindowManager> manager(new WindowManager);
	const TempDirectory& home = manager->fHome;
	// It runs the startup command after it has taken every window already there and just before
	// it handles events.
	manager->fProcess =
	    server.Launch({"openbox", "--startup", "touch '" + home.Join(kStartedMark) + "'"}, error,
	                  {{"HOME", home.Path()},
	                   {"XDG_CONFIG_HOME", home.Join("config")},
	                   {"XDG_CACHE_HOME", home.Join("cache")},
	                   {"XDG_DATA_HOME", home.Join("data")}});
	if (manager->fProcess == nullptr)
		return nullptr;
	if (!Eventually([&] { return manager->Started(); }, std::chrono::seconds(20))) {
		if (error != nullptr)
			*error = "openbox did not finish starting in 20 s";
		return nullptr;
	}
	return manager;
}

bool WindowManager::Started() const
{
	return access(fHome.Join(kStartedMark).c_str(), F_OK) == 0;
}

} // namespace VelmoTest
