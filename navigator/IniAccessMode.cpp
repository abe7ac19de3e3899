#include "navigator/IniAccessMode.h"

#include <windows.h>

#include <atomic>

namespace {

std::atomic<IniAccessMode> accessMode{IniAccessMode::Undetermined};

IniAccessMode ModeForThisSystem() noexcept
{
    // A failed request leaves the record zero, which means ProfileApi.
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    static_assert(sizeof(OSVERSIONINFOW) == 276, "the version record the system expects");
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExW(&version);
#pragma GCC diagnostic pop
    const bool windowsNt4 = version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion == 4;
    return windowsNt4 ? IniAccessMode::InMemory : IniAccessMode::ProfileApi;
}

}  // namespace

IniAccessMode CurrentAccessMode() noexcept { return accessMode.load(); }

IniAccessMode DecideAccessMode() noexcept
{
    IniAccessMode mode = accessMode.load();
    if (mode == IniAccessMode::Undetermined) {
        mode = ModeForThisSystem();
        accessMode.store(mode);
    }
    return mode;
}
