#include "platform/Text.h"

#include <algorithm>
#include <array>

namespace platform {
namespace {

// Every unit that msvcrt's iswspace counts as white space, in order: its own
// table below U+0100, the system's character types (C1_SPACE) above. Measured
// for all 65,536 units; msvcrt's table leaves out U+0085, which the system's
// types (and the later UCRT) count.
constexpr std::array<char16_t, 24> kWhiteSpace = {
    0x0009, 0x000A, 0x000B, 0x000C, 0x000D, 0x0020, 0x00A0, 0x1680,
    0x2000, 0x2001, 0x2002, 0x2003, 0x2004, 0x2005, 0x2006, 0x2007,
    0x2008, 0x2009, 0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000,
};

}  // namespace

bool IsSpace(char16_t unit) noexcept
{
    if (unit < 0x80)
        return unit == u' ' || (unit >= u'\t' && unit <= u'\r');
    return std::binary_search(kWhiteSpace.begin(), kWhiteSpace.end(), unit);
}

}  // namespace platform
