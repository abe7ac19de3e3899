#include "module/ModulePath.h"

#include <array>

#include "com/ComError.h"
#include "module/LastError.h"
#include "platform/windows/WideText.h"

std::u16string ModuleFileName(HMODULE module)
{
    std::array<char16_t, MAX_PATH> buffer{};
    const DWORD length = GetModuleFileNameW(module, AsWide(buffer.data()), MAX_PATH);
    if (length == 0)
        ThrowHResult(LastErrorAsHResult());
    if (length == MAX_PATH)
        ThrowHResult(HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
    return std::u16string(buffer.data(), length);
}

std::u16string DoubledQuotes(std::u16string_view text)
{
    std::u16string doubled;
    doubled.reserve(text.size());
    for (const char16_t unit : text) {
        doubled.push_back(unit);
        if (unit == u'\'')
            doubled.push_back(u'\'');
    }
    return doubled;
}
