#include "storage/PathText.h"

#include <string.h>

#include <vector>

#include "storage/PlatformRoot.h"

namespace BPrivate {

bool PathNeedsNormalizing(const char* path)
{
	if (path[0] != '/')
		return true;
	const char* component = path;
	while (*component != '\0') {
		// `component` points at a slash.
		const char* start = component + 1;
		const char* end = strchrnul(start, '/');
		size_t length = end - start;
		if (length == 0) {
			// "//" anywhere, or a trailing slash other than the root itself.
			if (*end == '/' || start != path + 1)
				return true;
		} else if ((length == 1 && start[0] == '.') ||
		           (length == 2 && start[0] == '.' && start[1] == '.')) {
			return true;
		}
		component = end;
	}
	return false;
}

std::string NormalizePathText(const std::string& path)
{
	std::vector<std::string> components;
	size_t position = 0;
	while (position <= path.size()) {
		size_t end = path.find('/', position);
		if (end == std::string::npos)
			end = path.size();
		std::string component = path.substr(position, end - position);
		if (component == "..") {
			if (!components.empty())
				components.pop_back();
		} else if (!component.empty() && component != ".") {
			components.push_back(component);
		}
		position = end + 1;
	}
	if (components.empty())
		return "/";
	std::string result;
	for (const std::string& component : components)
		result += "/" + component;
	return result;
}

std::string ParentPathText(const std::string& path)
{
	size_t slash = path.rfind('/');
	if (slash == std::string::npos || slash == 0)
		return "/";
	return path.substr(0, slash);
}

std::string LeafText(const std::string& path)
{
	size_t slash = path.rfind('/');
	return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool BeosPathForHostPath(const std::string& hostPath, std::string* beosPath)
{
	std::string root = PlatformRoot();
	if (hostPath.compare(0, root.size(), root) != 0)
		return false;
	std::string rest = hostPath.substr(root.size());
	if (rest.empty()) {
		beosPath->assign(1, '/');
		return true;
	}
	if (rest[0] != '/')
		return false;
	*beosPath = rest;
	return true;
}

} // namespace BPrivate
