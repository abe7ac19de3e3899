#include "platform/windows/ProfileFile.h"

#include <windows.h>

#include "platform/windows/WideText.h"

namespace platform {

uint32_t ProfileFile::ReadValue(const wchar_t* section, const wchar_t* key, const wchar_t* defaultText,
                                wchar_t* buffer, uint32_t capacity) const noexcept
{
    return GetPrivateProfileStringW(section, key, defaultText, buffer, capacity, AsWide(path_));
}

bool ProfileFile::WriteValue(const std::u16string& section, const std::u16string& key,
                             const std::u16string& value) const noexcept
{
    return WritePrivateProfileStringW(AsWide(section), AsWide(key), AsWide(value), AsWide(path_)) != FALSE;
}

bool ProfileFile::Flush() const noexcept
{
    return WritePrivateProfileStringW(nullptr, nullptr, nullptr, AsWide(path_)) != FALSE;
}

}  // namespace platform
