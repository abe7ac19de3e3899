#pragma once
// The thread's COM error object, read the way a host reads it after a call
// that failed.
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <string>

#include "com/Bstr.h"

// The description of the error object that the last call left, fetched only
// when `object` says that `iid` reports through error objects; fetching takes
// the error object off the thread. "<none>" when there is none.
inline std::wstring ErrorDescription(IUnknown* object, REFIID iid)
{
    Microsoft::WRL::ComPtr<ISupportErrorInfo> support;
    if (FAILED(object->QueryInterface(IID_PPV_ARGS(&support))) || support->InterfaceSupportsErrorInfo(iid) != S_OK)
        return L"<interface without error objects>";
    Microsoft::WRL::ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) != S_OK || !info)
        return L"<none>";
    UniqueBstr description;
    if (FAILED(info->GetDescription(description.put())))
        return L"<no description>";
    return std::wstring(description ? description.get() : L"");
}
