// Windows-1252 stands for the system ANSI code page where there is none.
#include "platform/Text.h"

#include <array>

namespace platform {
namespace {

// Bytes 0x80 to 0x9F; the rest of the upper half maps to the same code point.
constexpr std::array<char16_t, 32> kUpperControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char AnsiFor(char16_t unit) noexcept
{
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF))
        return static_cast<char>(unit);
    for (size_t i = 0; i < kUpperControls.size(); ++i) {
        if (kUpperControls[i] == unit)
            return static_cast<char>(0x80 + i);
    }
    return '?';
}

}  // namespace

bool AppendAnsiAsUtf16(std::string_view ansi, std::u16string& out)
{
    const size_t start = out.size();
    out.resize(start + ansi.size());
    char16_t* target = &out[start];
    for (const char byte : ansi) {
        const auto value = static_cast<unsigned char>(byte);
        *target++ = (value >= 0x80 && value < 0xA0) ? kUpperControls[value - 0x80] : value;
    }
    return true;
}

bool AppendUtf16AsAnsi(std::u16string_view text, std::string& out)
{
    // One byte per unit: sized once, then written without a check per byte.
    const size_t start = out.size();
    out.resize(start + text.size());
    char* target = &out[start];
    for (const char16_t unit : text)
        *target++ = AnsiFor(unit);
    return true;
}

}  // namespace platform
