#pragma once
// Versions as `inihost --version` shows them.
#include <windows.h>
#include <unknwn.h>

#include <string>

// inihost's own version, set by the build.
const char* InihostVersion();

// The file of the module whose code serves `object`: the object's first
// pointer is its interface table, which lies in that module's image.
std::wstring ModulePathOf(IUnknown* object);

// The file version of the module's version resource, "1.0.0.1"; empty when
// the file has none.
std::wstring FileVersionOf(const std::wstring& path);
