#pragma once
// Owners of Windows handles, each a UniqueAny. File handles and find handles
// hold nothing when they are INVALID_HANDLE_VALUE (what CreateFileW and
// FindFirstFileW return on failure); other kernel objects (mutexes, events,
// processes), registry keys, modules and LocalAlloc'd strings when they are
// null.
#include <windows.h>

#include "platform/UniqueAny.h"

struct FileHandleTraits {
    using type = HANDLE;
    static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE value) noexcept { CloseHandle(value); }
};

struct KernelHandleTraits {
    using type = HANDLE;
    static HANDLE invalid() noexcept { return nullptr; }
    static void close(HANDLE value) noexcept { CloseHandle(value); }
};

struct FindHandleTraits {
    using type = HANDLE;
    static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE value) noexcept { FindClose(value); }
};

// An open registry key. Predefined root keys are never put in one: they are
// not ours to close.
struct RegistryKeyTraits {
    using type = HKEY;
    static HKEY invalid() noexcept { return nullptr; }
    static void close(HKEY value) noexcept { RegCloseKey(value); }
};

// A module loaded with LoadLibrary.
struct ModuleTraits {
    using type = HMODULE;
    static HMODULE invalid() noexcept { return nullptr; }
    static void close(HMODULE value) noexcept { FreeLibrary(value); }
};

// A string that the system allocated with LocalAlloc for the caller
// (FormatMessageW with FORMAT_MESSAGE_ALLOCATE_BUFFER).
struct LocalStringTraits {
    using type = wchar_t*;
    static wchar_t* invalid() noexcept { return nullptr; }
    static void close(wchar_t* value) noexcept { LocalFree(value); }
};

using UniqueFileHandle = UniqueAny<FileHandleTraits>;
using UniqueKernelHandle = UniqueAny<KernelHandleTraits>;
using UniqueFindHandle = UniqueAny<FindHandleTraits>;
using UniqueHKey = UniqueAny<RegistryKeyTraits>;
using UniqueModule = UniqueAny<ModuleTraits>;
using UniqueLocalString = UniqueAny<LocalStringTraits>;
