#pragma once

#include <string>

namespace VelmoTest {

// A fresh directory under $TMPDIR (or /tmp), removed with everything in it on destruction.
class TempDirectory {
public:
	explicit TempDirectory(const char* prefix = "velmo-test");
	~TempDirectory();

	TempDirectory(const TempDirectory&) = delete;
	TempDirectory& operator=(const TempDirectory&) = delete;

	const std::string& Path() const { return fPath; }
	// Path() + "/" + relative.
	std::string Join(const std::string& relative) const;

	// Creates the directory `relative` and its parents below the temporary directory.
	void MakeDirectories(const std::string& relative) const;
	void WriteFile(const std::string& relative, const std::string& contents) const;

private:
	std::string fPath;
};

// A platform root for the program: boot/home/velmo/resources/textures exists (without a logo), and
// dev/ports (without ports).
class PlatformRootDirectory : public TempDirectory {
public:
	PlatformRootDirectory();

	std::string LogoPath() const;
	std::string VelmoLaunchPath() const;
};

} // namespace VelmoTest
