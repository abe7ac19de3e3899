#include "navigator/IniAccessMode.h"

#include <atomic>

#include "platform/windows/WindowsVersion.h"

namespace {

std::atomic<IniAccessMode> accessMode{IniAccessMode::Undetermined};

IniAccessMode ModeForThisSystem() noexcept
{
    return platform::ReportsWindowsNt4() ? IniAccessMode::InMemory : IniAccessMode::ProfileApi;
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
