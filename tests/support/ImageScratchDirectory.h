#pragma once

#include <string>

// A fresh directory under $TMPDIR (or /tmp) for the image files one test writes, removed with
// everything in it when the object goes.
class ImageScratchDirectory
{
public:
	ImageScratchDirectory();
	~ImageScratchDirectory();

	ImageScratchDirectory(const ImageScratchDirectory&) = delete;
	ImageScratchDirectory& operator=(const ImageScratchDirectory&) = delete;

	const std::string& Path() const { return fPath; }
	std::string File(const std::string& name) const { return fPath + "/" + name; }

private:
	std::string fPath;
};
