#include "translation/ImageCodecLock.h"

namespace BPrivate {

std::mutex& ImageCodecLock()
{
	static std::mutex lock;
	return lock;
}

} // namespace BPrivate
