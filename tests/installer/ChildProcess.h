#pragma once
// Other programs, run to their end as an administrator's console runs them.
#include <windows.h>

#include <string>
#include <string_view>

// Runs `commandLine` (the program first, quoted as it expects) and returns
// its exit code. It inherits no handle of ours, so services it starts cannot
// keep us waiting. The test fails when the program cannot be started.
DWORD RunProgram(const std::wstring& commandLine);

struct ProgramResult {
    DWORD exitCode = 0;
    std::string output;  // standard output and standard error, as written
};

// The same for a program whose output the test reads; `input` is all its
// standard input.
ProgramResult RunProgramForOutput(const std::wstring& commandLine, std::string_view input = {});
