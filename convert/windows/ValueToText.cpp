#include "convert/windows/ValueToText.h"

#include <new>

#include "com/ComError.h"
#include "com/Variant.h"
#include "convert/FormatDate.h"
#include "platform/windows/WideText.h"

namespace {

// The platform's text of any value, made from copies so that the caller's
// value stays as it is.
std::u16string GenericText(const VARIANT& value)
{
    UniqueVariant copy;
    // VariantCopy only reads its source; the headers declare it non-const.
    ThrowIfFailed(VariantCopy(copy.get(), const_cast<VARIANT*>(&value)));
    if (V_VT(copy.get()) == VT_BSTR)
        return U16FromWide(V_BSTR(copy.get()));
    UniqueVariant text;
    ThrowIfFailed(VariantChangeType(text.get(), copy.get(), 0, VT_BSTR));
    return U16FromWide(V_BSTR(text.get()));
}

}  // namespace

std::u16string ValueToText(const VARIANT& value, int formatSelector)
{
    try {
        if (V_VT(&value) == VT_DATE) {
            Str text;
            if (FormatDate(text, V_DATE(&value), formatSelector))
                return text.text();
        }
        return GenericText(value);
    } catch (const std::bad_alloc&) {
        throw HResultError(E_OUTOFMEMORY);
    }
}
