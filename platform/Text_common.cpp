#include "platform/Text.h"

#include <cwctype>

namespace platform {

char16_t ToLower(char16_t unit) noexcept
{
    if (unit < 0x80)
        return (unit >= u'A' && unit <= u'Z') ? static_cast<char16_t>(unit + (u'a' - u'A')) : unit;
    return static_cast<char16_t>(std::towlower(static_cast<wint_t>(unit)));
}

bool IsSpace(char16_t unit) noexcept
{
    if (unit < 0x80)
        return unit == u' ' || (unit >= u'\t' && unit <= u'\r');
    return std::iswspace(static_cast<wint_t>(unit)) != 0;
}

void LowerInPlace(std::u16string& text) noexcept
{
    for (char16_t& unit : text)
        unit = ToLower(unit);
}

}  // namespace platform
