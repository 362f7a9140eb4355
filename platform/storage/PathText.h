#pragma once

// Path arithmetic on text alone: nothing here looks at the disk.

#include <string>

namespace BPrivate {

// Whether `path` must be normalised before it can be kept: relative, with "." or ".."
// components, duplicate slashes or a trailing slash.
bool PathNeedsNormalizing(const char* path);

// `path` (absolute) with "." and duplicate slashes dropped and ".." applied; ".." at the root
// stays at the root. The result is absolute and has no trailing slash except "/".
std::string NormalizePathText(const std::string& path);

// The parent of an absolute, normalised path ("/" for "/boot"; "/" for "/").
std::string ParentPathText(const std::string& path);
// The last component of an absolute, normalised path ("" for "/").
std::string LeafText(const std::string& path);

// The BeOS path of an absolute host path under the platform root, or false when it lies
// outside the root.
bool BeosPathForHostPath(const std::string& hostPath, std::string* beosPath);

} // namespace BPrivate
