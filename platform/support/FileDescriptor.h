#pragma once

#include <unistd.h>

namespace BPrivate {

// Owns a descriptor and closes it. Moves, never copies.
class FileDescriptor
{
public:
	explicit FileDescriptor(int fd = -1) : fFd(fd) {}
	~FileDescriptor() { Reset(); }

	FileDescriptor(FileDescriptor&& other) : fFd(other.fFd) { other.fFd = -1; }
	FileDescriptor& operator=(FileDescriptor&& other)
	{
		if (this != &other) {
			Reset();
			fFd = other.fFd;
			other.fFd = -1;
		}
		return *this;
	}
	FileDescriptor(const FileDescriptor&) = delete;
	FileDescriptor& operator=(const FileDescriptor&) = delete;

	int Get() const { return fFd; }
	bool IsValid() const { return fFd >= 0; }
	void Reset()
	{
		if (fFd >= 0)
			close(fFd);
		fFd = -1;
	}

private:
	int fFd;
};

} // namespace BPrivate
