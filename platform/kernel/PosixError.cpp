#include "kernel/PosixError.h"

#include <errno.h>

namespace BPrivate {

status_t PosixError(int error)
{
	switch (error) {
	case 0:
		return B_OK;
	case ENOMEM:
		return B_NO_MEMORY;
	case EACCES:
	case EPERM:
		return B_PERMISSION_DENIED;
	case ENOENT:
		return B_ENTRY_NOT_FOUND;
	case EINVAL:
		return B_BAD_VALUE;
	case ETIMEDOUT:
		return B_TIMED_OUT;
	case EINTR:
		return B_INTERRUPTED;
	case EAGAIN:
		return B_WOULD_BLOCK;
	case EBUSY:
		return B_BUSY;
	case EIO:
		return B_IO_ERROR;
	case EEXIST:
		return B_FILE_EXISTS;
	case ENAMETOOLONG:
		return B_NAME_TOO_LONG;
	case ENOTDIR:
		return B_NOT_A_DIRECTORY;
	case EISDIR:
		return B_IS_A_DIRECTORY;
	case ENOTEMPTY:
		return B_DIRECTORY_NOT_EMPTY;
	case EMFILE:
	case ENFILE:
		return B_NO_MORE_FDS;
	case EPIPE:
		return B_BUSTED_PIPE;
	case ENOSPC:
		return B_DEVICE_FULL;
	case EROFS:
		return B_READ_ONLY_DEVICE;
	case EXDEV:
		return B_CROSS_DEVICE_LINK;
	case ELOOP:
		return B_LINK_LIMIT;
	case ENOTSUP:
		return B_UNSUPPORTED;
	case ENODEV:
	case ENXIO:
		return B_DEV_BAD_DRIVE_NUM;
	case EBADF:
		return B_FILE_ERROR;
	case ENOTTY:
		return B_DEV_INVALID_IOCTL;
	default:
		return B_ERROR;
	}
}

} // namespace BPrivate
