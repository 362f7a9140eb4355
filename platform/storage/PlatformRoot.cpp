#include "storage/PlatformRoot.h"

#include <stdlib.h>

namespace BPrivate {

std::string
PlatformRoot()
{
	const char* fromEnvironment = getenv("BEOS_ROOT");
	std::string root = fromEnvironment != nullptr && fromEnvironment[0] != '\0'
		? fromEnvironment : BEOS_ROOT_DEFAULT;
	while (!root.empty() && root.back() == '/')
		root.pop_back();
	return root;
}

std::string
HostPath(const char* beosPath)
{
	if (beosPath == nullptr)
		return std::string();
	if (beosPath[0] != '/')
		return beosPath;
	return PlatformRoot() + beosPath;
}

} // namespace BPrivate
