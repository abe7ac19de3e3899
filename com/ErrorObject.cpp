#include "com/ErrorObject.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <string>

void SetErrorObject(REFIID iid, const wchar_t* source, std::u16string_view description) noexcept
{
    Microsoft::WRL::ComPtr<ICreateErrorInfo> created;
    Microsoft::WRL::ComPtr<IErrorInfo> made;
    try {
        // SetDescription takes a terminated string.
        const std::wstring text(description.begin(), description.end());
        if (SUCCEEDED(CreateErrorInfo(&created)) && SUCCEEDED(created->SetGUID(iid)) &&
            SUCCEEDED(created->SetSource(const_cast<LPOLESTR>(source))) &&
            SUCCEEDED(created->SetDescription(const_cast<LPOLESTR>(text.c_str()))))
            created.As(&made);
    } catch (...) {
        // No room for the description: no error object rather than a stale one.
    }
    SetErrorInfo(0, made.Get());
}

void ClearErrorObject() noexcept { SetErrorInfo(0, nullptr); }

HRESULT SupportsErrorInfo(REFIID iid, std::initializer_list<const IID*> reporting) noexcept
{
    for (const IID* listed : reporting) {
        if (IsEqualIID(iid, *listed))
            return S_OK;
    }
    return S_FALSE;
}
