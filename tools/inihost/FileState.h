#pragma once
// What a file is at one moment, so that inihost can tell whether a call
// changed it.
#include <windows.h>

#include <string>

struct FileState {
    bool exists = false;
    std::string bytes;
};

FileState StateOf(const std::wstring& path);
