#pragma once
// Owners of Windows kernel handles. File handles hold nothing when they are
// INVALID_HANDLE_VALUE (what CreateFileW returns on failure); other kernel
// objects (mutexes, events) when they are null.
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

using UniqueFileHandle = UniqueAny<FileHandleTraits>;
using UniqueKernelHandle = UniqueAny<KernelHandleTraits>;
