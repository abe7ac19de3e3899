#include "ChildProcess.h"

#include <gtest/gtest.h>

#include "platform/windows/UniqueHandle.h"

namespace {

// Starts the program; an empty handle when it cannot be started.
UniqueKernelHandle Start(const std::wstring& commandLine, STARTUPINFOW& startup, bool inheritHandles)
{
    PROCESS_INFORMATION process = {};
    std::wstring mutableCommandLine = commandLine;
    if (!CreateProcessW(nullptr, mutableCommandLine.data(), nullptr, nullptr, inheritHandles, 0, nullptr, nullptr,
                        &startup, &process)) {
        ADD_FAILURE() << "cannot start a program, error " << GetLastError();
        return {};
    }
    CloseHandle(process.hThread);
    return UniqueKernelHandle(process.hProcess);
}

DWORD WaitForExit(const UniqueKernelHandle& process)
{
    DWORD exitCode = 0;
    WaitForSingleObject(process.get(), INFINITE);
    GetExitCodeProcess(process.get(), &exitCode);
    return exitCode;
}

// A pipe whose ends are owned; the child's end is inheritable, ours is not.
struct Pipe {
    UniqueKernelHandle read;
    UniqueKernelHandle write;
};

Pipe MakePipe(bool childReads)
{
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
        ADD_FAILURE() << "cannot create a pipe, error " << GetLastError();
        return {};
    }
    Pipe pipe{UniqueKernelHandle(readEnd), UniqueKernelHandle(writeEnd)};
    SetHandleInformation(childReads ? pipe.write.get() : pipe.read.get(), HANDLE_FLAG_INHERIT, 0);
    return pipe;
}

}  // namespace

DWORD RunProgram(const std::wstring& commandLine)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    const UniqueKernelHandle process = Start(commandLine, startup, false);
    return process ? WaitForExit(process) : ~DWORD{0};
}

ProgramResult RunProgramForOutput(const std::wstring& commandLine, std::string_view input)
{
    ProgramResult result{~DWORD{0}, {}};
    Pipe in = MakePipe(true);
    Pipe out = MakePipe(false);
    if (!in.read || !out.write)
        return result;

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in.read.get();
    startup.hStdOutput = out.write.get();
    startup.hStdError = out.write.get();
    const UniqueKernelHandle process = Start(commandLine, startup, true);
    // Only the program holds its ends now: it sees the end of its input
    // when we close ours, and we the end of its output when it exits.
    in.read.reset();
    out.write.reset();
    if (!process)
        return result;
    DWORD written = 0;
    if (!input.empty())
        WriteFile(in.write.get(), input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
    in.write.reset();
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(out.read.get(), buffer, sizeof(buffer), &read, nullptr) && read != 0)
        result.output.append(buffer, read);
    result.exitCode = WaitForExit(process);
    return result;
}
