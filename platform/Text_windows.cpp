#include <windows.h>

#include "platform/Text.h"

namespace platform {

void AppendAnsiAsUtf16(std::string_view ansi, std::u16string& out)
{
    if (ansi.empty())
        return;
    const int length = static_cast<int>(ansi.size());
    const int units = MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, nullptr, 0);
    const size_t start = out.size();
    out.resize(start + static_cast<size_t>(units));
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, reinterpret_cast<wchar_t*>(&out[start]), units);
}

void AppendUtf16AsAnsi(std::u16string_view text, std::string& out)
{
    if (text.empty())
        return;
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
    const size_t start = out.size();
    out.resize(start + static_cast<size_t>(bytes));
    WideCharToMultiByte(CP_ACP, 0, wide, length, &out[start], bytes, nullptr, nullptr);
}

}  // namespace platform
