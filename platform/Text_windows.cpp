#include <windows.h>

#include <climits>

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

namespace {

// Without this flag the conversion writes a look-alike for a character the
// code page lacks (O for an omega, "=" for a fullwidth equals sign), which
// can change what a line means. UTF-8 takes no flags.
DWORD NoBestFit() noexcept { return GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS; }

}  // namespace

void AppendUtf16AsAnsi(std::u16string_view text, std::string& out)
{
    if (text.empty())
        return;
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    const DWORD flags = NoBestFit();
    const int bytes = WideCharToMultiByte(CP_ACP, flags, wide, length, nullptr, 0, nullptr, nullptr);
    const size_t start = out.size();
    out.resize(start + static_cast<size_t>(bytes));
    WideCharToMultiByte(CP_ACP, flags, wide, length, &out[start], bytes, nullptr, nullptr);
}

bool RepresentableInAnsi(std::u16string_view text)
{
    if (text.empty())
        return true;
    if (text.size() > static_cast<size_t>(INT_MAX))
        return false;
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    // UTF-8 holds every character; only a lone surrogate has no form.
    if (GetACP() == CP_UTF8)
        return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, length, nullptr, 0, nullptr, nullptr) > 0;
    BOOL usedDefault = FALSE;
    return WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, length, nullptr, 0, nullptr, &usedDefault) > 0 &&
           !usedDefault;
}

}  // namespace platform
