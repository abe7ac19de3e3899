#pragma once
// What a file is at one moment, so that inihost can tell what a call did to
// it: nothing, a change in place (the system's private-profile functions
// rewrite a file where it lies), or a replacement by another file (the
// plug-in's commit saves a new file and moves it into the old one's place).
#include <windows.h>

#include <string>

struct FileState {
    bool exists = false;
    // The volume and file number: a replaced file is another file.
    DWORD volume = 0;
    ULONGLONG number = 0;
    std::string bytes;
};

FileState StateOf(const std::wstring& path);

enum class FileChange {
    None,      // the same file with the same bytes
    Written,   // created, or its bytes changed where it lies
    Replaced,  // another file stands at the path
};

FileChange ChangeBetween(const FileState& before, const FileState& after);
