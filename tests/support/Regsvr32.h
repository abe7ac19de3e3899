#pragma once
// The system's regsvr32.exe, as a setup program runs it: silently, in its
// own process.
#include <windows.h>

#include <string>

// Runs "regsvr32 [/u] /s <dll>" and returns its exit code (0 on success),
// or -1 when it could not be started.
inline int Regsvr32(const std::wstring& dll, bool unregister = false)
{
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring program = std::wstring(system) + L"\\regsvr32.exe";
    std::wstring commandLine = L"\"" + program + L"\"" + (unregister ? L" /u" : L"") + L" /s \"" + dll + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(exitCode);
}
