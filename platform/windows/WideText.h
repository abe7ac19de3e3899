#pragma once
// Zero-cost views between the portable UTF-16 text (char16_t) and the
// Windows API's wchar_t, which is the same 16-bit unit on Windows.
#include <string>
#include <string_view>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wchar_t is a UTF-16 unit");

inline const wchar_t* AsWide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
inline wchar_t* AsWide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }
inline const wchar_t* AsWide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline const char16_t* AsU16(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }
inline std::u16string_view AsU16(std::wstring_view text) { return std::u16string_view(AsU16(text.data()), text.size()); }

// A zero-terminated wide string as UTF-16 text; a null pointer reads as empty.
inline std::u16string U16FromWide(const wchar_t* text)
{
    return text == nullptr ? std::u16string() : std::u16string(AsU16(text));
}
