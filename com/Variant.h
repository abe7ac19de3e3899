#pragma once
// The owner of a VARIANT: it holds nothing while it is VT_EMPTY, as
// VariantInit leaves it, and VariantClear frees what it holds.
#include <windows.h>
#include <oleauto.h>

#include "platform/UniqueAny.h"

struct VariantTraits {
    using type = VARIANT;
    static VARIANT invalid() noexcept
    {
        VARIANT empty;
        VariantInit(&empty);
        return empty;
    }
    static bool valid(const VARIANT& value) noexcept { return V_VT(&value) != VT_EMPTY; }
    static void close(VARIANT value) noexcept { VariantClear(&value); }
};

using UniqueVariant = UniqueAny<VariantTraits>;
