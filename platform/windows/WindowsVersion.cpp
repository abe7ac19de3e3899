#include "platform/windows/WindowsVersion.h"

#include <windows.h>

namespace platform {

bool ReportsWindowsNt4() noexcept
{
    // A failed request leaves the record zero, which is no version.
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    static_assert(sizeof(OSVERSIONINFOW) == 276, "the version record the system expects");
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExW(&version);
#pragma GCC diagnostic pop
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion == 4;
}

}  // namespace platform
