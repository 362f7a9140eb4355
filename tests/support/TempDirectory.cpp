#include "support/TempDirectory.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace VelmoTest {

TempDirectory::TempDirectory(const char* prefix)
{
	const char* base = getenv("TMPDIR");
	std::string pattern = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/"
		+ prefix + "-XXXXXX";
	if (mkdtemp(pattern.data()) == nullptr)
		throw std::runtime_error("mkdtemp failed for " + pattern);
	fPath = pattern;
}

TempDirectory::~TempDirectory()
{
	std::error_code ignored;
	std::filesystem::remove_all(fPath, ignored);
}

std::string
TempDirectory::Join(const std::string& relative) const
{
	return fPath + "/" + relative;
}

void
TempDirectory::MakeDirectories(const std::string& relative) const
{
	std::filesystem::create_directories(Join(relative));
}

void
TempDirectory::WriteFile(const std::string& relative, const std::string& contents) const
{
	std::filesystem::path path(Join(relative));
	std::filesystem::create_directories(path.parent_path());
	std::ofstream file(path, std::ios::binary | std::ios::trunc);
	file.write(contents.data(), (std::streamsize)contents.size());
	if (!file)
		throw std::runtime_error("cannot write " + path.string());
}

PlatformRootDirectory::PlatformRootDirectory()
	:
	TempDirectory("velmo-root")
{
	MakeDirectories("boot/home/velmo/resources/textures");
	// With no dev/ports in the root the serial port would list the machine's own ports.
	MakeDirectories("dev/ports");
}

std::string
PlatformRootDirectory::LogoPath() const
{
	return Join("boot/home/velmo/resources/textures/KALOGO.BMP");
}

std::string
PlatformRootDirectory::VelmoLaunchPath() const
{
	return Join("boot/home/velmo/VelmoLaunch");
}

} // namespace VelmoTest
