#pragma once
// The owner of a BSTR, BSTRs made from UTF-16 text, and their text.
#include <windows.h>
#include <oleauto.h>

#include <string_view>

#include "com/ComError.h"
#include "platform/UniqueAny.h"

struct BstrTraits {
    using type = BSTR;
    static BSTR invalid() noexcept { return nullptr; }
    static void close(BSTR value) noexcept { SysFreeString(value); }
};

using UniqueBstr = UniqueAny<BstrTraits>;

// Every unit of a BSTR, a NUL inside included; a null BSTR is empty.
inline std::u16string_view BstrUnits(BSTR text) noexcept
{
    return text == nullptr ? std::u16string_view()
                           : std::u16string_view(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
}

// A new BSTR holding exactly the given units; throws E_OUTOFMEMORY.
inline UniqueBstr MakeBstr(std::u16string_view text)
{
    return UniqueBstr(
        ThrowIfNull(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()))));
}
