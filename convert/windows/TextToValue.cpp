#include "convert/windows/TextToValue.h"

#include "com/Bstr.h"
#include "com/ComError.h"

bool TextToValue(VARIANT& value, const wchar_t* text) noexcept
{
    VariantClear(&value);
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = nullptr;
    const HRESULT hr = ComBoundary([&]() -> HRESULT {
        if (text == nullptr)
            return S_OK;
        // The value gets a string of its own, made from an intermediate copy
        // of exactly the same byte length.
        const UniqueBstr copy(ThrowIfNull(SysAllocString(text)));
        V_BSTR(&value) = ThrowIfNull(
            SysAllocStringByteLen(reinterpret_cast<LPCSTR>(copy.get()), SysStringByteLen(copy.get())));
        return S_OK;
    });
    return SUCCEEDED(hr);
}
