#pragma once
// Paths as the system resolves them.
#include <string>

namespace platform {

// `path` made absolute against the current folder and drive
// (GetFullPathNameW), so that the functions that take a relative path in
// different ways (the private-profile functions look for a bare name in the
// Windows folder) all reach the same file. An empty path, and one the system
// cannot resolve, come back as given.
std::u16string AbsolutePath(const std::u16string& path);

}  // namespace platform
