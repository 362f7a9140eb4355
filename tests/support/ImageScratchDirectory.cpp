#include "support/ImageScratchDirectory.h"

#include <stdlib.h>

#include <filesystem>
#include <vector>

#include <gtest/gtest.h>

ImageScratchDirectory::ImageScratchDirectory()
{
	const char* base = getenv("TMPDIR");
	std::string pattern =
	    std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/velmo-image-XXXXXX";
	std::vector<char> name(pattern.begin(), pattern.end());
	name.push_back('\0');
	if (mkdtemp(name.data()) == nullptr)
		ADD_FAILURE() << "cannot create a directory from " << pattern;
	else
		fPath = name.data();
}

ImageScratchDirectory::~ImageScratchDirectory()
{
	if (fPath.empty())
		return;
	std::error_code error;
	std::filesystem::remove_all(fPath, error);
}
