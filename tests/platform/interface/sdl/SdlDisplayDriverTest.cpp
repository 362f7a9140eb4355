// Which SDL driver the display takes, without an X server: none when SDL would only fall back to
// a stand-in, the one named in SDL_VIDEODRIVER otherwise.

#include "interface/sdl/SdlDisplay.h"

#include <dirent.h>
#include <glob.h>
#include <stdlib.h>
#include <unistd.h>

#include <map>
#include <optional>
#include <string>

#include <gtest/gtest.h>
#include <SDL.h>

#include "FakeDisplayClient.h"
#include "support/TempDirectory.h"

using BPrivate::CreateSdlDisplay;
using BPrivate::Display;

namespace {

// Sets (or, with nullopt, unsets) environment variables for one test and puts them back after.
class EnvironmentOverride
{
public:
	explicit EnvironmentOverride(const std::map<std::string, std::optional<std::string>>& values)
	{
		for (const auto& [name, value] : values) {
			const char* old = getenv(name.c_str());
			fSaved[name] = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
			if (value)
				setenv(name.c_str(), value->c_str(), 1);
			else
				unsetenv(name.c_str());
		}
	}
	~EnvironmentOverride()
	{
		for (const auto& [name, value] : fSaved) {
			if (value)
				setenv(name.c_str(), value->c_str(), 1);
			else
				unsetenv(name.c_str());
		}
	}

private:
	std::map<std::string, std::optional<std::string>> fSaved;
};

// Runs a test in `directory`, where SDL's dummy driver writes its frames.
class WorkingDirectory
{
public:
	explicit WorkingDirectory(const std::string& directory)
	{
		char* old = getcwd(nullptr, 0);
		fOld = old;
		free(old);
		EXPECT_EQ(chdir(directory.c_str()), 0);
	}
	~WorkingDirectory() { EXPECT_EQ(chdir(fOld.c_str()), 0); }

private:
	std::string fOld;
};

// The frame the dummy driver wrote last ("SDL_window<id>-<number>.bmp", numbered from 1).
std::string LatestFrame(const std::string& directory)
{
	glob_t found = {};
	std::string latest;
	if (glob((directory + "/SDL_window*.bmp").c_str(), 0, nullptr, &found) == 0) {
		for (size_t i = 0; i < found.gl_pathc; i++) {
			if (latest < found.gl_pathv[i])
				latest = found.gl_pathv[i];
		}
	}
	globfree(&found);
	return latest;
}

bool DrmDeviceUsable()
{
	glob_t found = {};
	bool usable = false;
	if (glob("/dev/dri/card*", 0, nullptr, &found) == 0) {
		for (size_t i = 0; i < found.gl_pathc; i++)
			usable = usable || access(found.gl_pathv[i], R_OK | W_OK) == 0;
	}
	globfree(&found);
	return usable;
}

} // namespace

TEST(SdlDisplayDriver, IsNoneWhenThereIsNoScreenAndNoDriverIsNamed)
{
	if (DrmDeviceUsable())
		GTEST_SKIP() << "this machine has a screen of its own (KMS/DRM), which SDL would take";
	EnvironmentOverride environment({{"DISPLAY", std::nullopt},
	                                 {"WAYLAND_DISPLAY", std::nullopt},
	                                 {"SDL_VIDEODRIVER", std::nullopt}});
	EXPECT_EQ(CreateSdlDisplay(), nullptr);
	// SDL is shut down again, for the headless display or a later attempt.
	EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
}

TEST(SdlDisplayDriver, IsNoneWhenTheNamedDriverCannotStart)
{
	EnvironmentOverride environment(
	    {{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}, {"SDL_VIDEODRIVER", "x11"}});
	EXPECT_EQ(CreateSdlDisplay(), nullptr);
	EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
}

TEST(SdlDisplayDriver, HonoursTheDummyDriverWhenItIsNamed)
{
	VelmoTest::TempDirectory frames("velmo-sdl-frames");
	WorkingDirectory inFrames(frames.Path());
	EnvironmentOverride environment({{"DISPLAY", std::nullopt},
	                                 {"SDL_VIDEODRIVER", "dummy"},
	                                 {"SDL_VIDEO_DUMMY_SAVE_FRAMES", "1"}});

	std::unique_ptr<Display> display = CreateSdlDisplay();
	ASSERT_NE(display, nullptr);
	EXPECT_STREQ(display->Name(), "sdl:dummy");

	// The dummy driver saves every presented frame: what it saved is what the window showed.
	FakeDisplayClient client(BRect(0, 0, 63, 47), "dummy");
	client.Framebuffer().FillRect(BRect(5, 6, 20, 30), rgb_color{132, 66, 255, 255},
	                              client.Framebuffer().Bounds());
	display->AddClient(&client);
	display->Dispatch(0);
	client.Framebuffer().FillRect(BRect(40, 0, 63, 0), rgb_color{1, 2, 3, 255},
	                              client.Framebuffer().Bounds());
	display->Invalidate(&client);
	display->Dispatch(0);

	const std::string frame = LatestFrame(frames.Path());
	ASSERT_FALSE(frame.empty()) << "no frame saved";
	SDL_Surface* saved = SDL_LoadBMP(frame.c_str());
	ASSERT_NE(saved, nullptr) << SDL_GetError();
	SDL_Surface* pixels = SDL_ConvertSurfaceFormat(saved, SDL_PIXELFORMAT_ARGB8888, 0);
	SDL_FreeSurface(saved);
	ASSERT_NE(pixels, nullptr) << SDL_GetError();
	ASSERT_EQ(pixels->w, 64);
	ASSERT_EQ(pixels->h, 48);
	int mismatches = 0;
	for (int y = 0; y < 48; y++) {
		for (int x = 0; x < 64; x++) {
			const uint32 shown =
			    static_cast<const uint32*>(pixels->pixels)[y * (pixels->pitch / 4) + x];
			const rgb_color expected = client.Framebuffer().PixelAt(x, y);
			const uint32 wanted =
			    uint32(expected.red) << 16 | uint32(expected.green) << 8 | expected.blue;
			if ((shown & 0xFFFFFF) != wanted && mismatches++ < 5)
				ADD_FAILURE() << "pixel (" << x << ", " << y << ") " << std::hex << shown;
		}
	}
	SDL_FreeSurface(pixels);
	EXPECT_EQ(mismatches, 0);
	display->RemoveClient(&client);
}
