#pragma once
// Owners of Windows handles, each a UniqueAny. File handles and find handles
// hold nothing when they are INVALID_HANDLE_VALUE (what CreateFileW and
// FindFirstFileW return on failure); other kernel objects (mutexes, events,
// processes), registry keys, modules and LocalAlloc'd strings when they are
// null.
#include <windows.h>

#include "platform/UniqueAny.h"

// The traits of a handle type that holds nothing when it is null (or, with
// `invalidIsMinusOne`, INVALID_HANDLE_VALUE) and is freed by `Close`.
template <class Handle, auto Close, bool invalidIsMinusOne = false>
struct HandleTraits {
    using type = Handle;
    static Handle invalid() noexcept
    {
        if constexpr (invalidIsMinusOne)
            return INVALID_HANDLE_VALUE;
        else
            return nullptr;
    }
    static void close(Handle value) noexcept { Close(value); }
};

using UniqueFileHandle = UniqueAny<HandleTraits<HANDLE, &CloseHandle, true>>;
using UniqueKernelHandle = UniqueAny<HandleTraits<HANDLE, &CloseHandle>>;
using UniqueFindHandle = UniqueAny<HandleTraits<HANDLE, &FindClose, true>>;
// An open registry key. Predefined root keys are never put in one: they are
// not ours to close.
using UniqueHKey = UniqueAny<HandleTraits<HKEY, &RegCloseKey>>;
// A module loaded with LoadLibrary.
using UniqueModule = UniqueAny<HandleTraits<HMODULE, &FreeLibrary>>;
// A string that the system allocated with LocalAlloc for the caller
// (FormatMessageW with FORMAT_MESSAGE_ALLOCATE_BUFFER).
using UniqueLocalString = UniqueAny<HandleTraits<wchar_t*, &LocalFree>>;
