#include <errno.h>

#include <gtest/gtest.h>

#include <OS.h>

#include "kernel/PosixError.h"

using BPrivate::PosixError;

TEST(PosixError, TranslatesEachErrnoToItsStatusCode)
{
	struct
	{
		int error;
		status_t status;
	} const kCases[] = {
	    {0, B_OK},
	    {ENOMEM, B_NO_MEMORY},
	    {EACCES, B_PERMISSION_DENIED},
	    {EPERM, B_PERMISSION_DENIED},
	    {ENOENT, B_ENTRY_NOT_FOUND},
	    {EINVAL, B_BAD_VALUE},
	    {ETIMEDOUT, B_TIMED_OUT},
	    {EINTR, B_INTERRUPTED},
	    {EAGAIN, B_WOULD_BLOCK},
	    {EBUSY, B_BUSY},
	    {EIO, B_IO_ERROR},
	    {EEXIST, B_FILE_EXISTS},
	    {ENAMETOOLONG, B_NAME_TOO_LONG},
	    {ENOTDIR, B_NOT_A_DIRECTORY},
	    {EISDIR, B_IS_A_DIRECTORY},
	    {ENOTEMPTY, B_DIRECTORY_NOT_EMPTY},
	    {EMFILE, B_NO_MORE_FDS},
	    {ENFILE, B_NO_MORE_FDS},
	    {EPIPE, B_BUSTED_PIPE},
	    {ENOSPC, B_DEVICE_FULL},
	    {EROFS, B_READ_ONLY_DEVICE},
	    {EXDEV, B_CROSS_DEVICE_LINK},
	    {ELOOP, B_LINK_LIMIT},
	    {ENOTSUP, B_UNSUPPORTED},
	    {ENODEV, B_DEV_BAD_DRIVE_NUM},
	    {ENXIO, B_DEV_BAD_DRIVE_NUM},
	    {EBADF, B_FILE_ERROR},
	    {ENOTTY, B_DEV_INVALID_IOCTL},
	};
	for (const auto& c : kCases)
		EXPECT_EQ(PosixError(c.error), c.status) << "errno " << c.error;
}

TEST(PosixError, UnknownErrnoValuesBecomeGeneralErrors)
{
	EXPECT_EQ(PosixError(EDOM), B_ERROR);
	EXPECT_EQ(PosixError(12345), B_ERROR);
}
