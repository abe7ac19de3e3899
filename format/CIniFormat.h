#pragma once
// The format object: describes the INI format to the host and hands out one
// navigator per file. It holds no state of its own besides the free-threaded
// marshaler it aggregates, so any thread of any apartment may call it and
// its pointers pass between apartments without proxies.
#include <windows.h>
#include <wrl/client.h>

#include "HostContract.h"
#include "IniPlugin.h"
#include "com/ComObject.h"
#include "com/ErrorObject.h"

class CIniFormat final : public ComObject<CIniFormat, AtomicRefCount, IIniFormat, IZephFileFormat, ISupportErrorInfo> {
public:
    // The value GetExtensionValue reports for every extension.
    static constexpr LONG kExtensionValue = 8;

    CIniFormat() = default;

    // IZephFileFormat
    HRESULT STDMETHODCALLTYPE GetFormatInfo(BSTR* vendor, BSTR* description, BSTR* extensions) override;
    HRESULT STDMETHODCALLTYPE GetExtensionValue(BSTR extension, LONG* value) override;
    HRESULT STDMETHODCALLTYPE CreateNavigator(LPCWSTR path, LONG_PTR context, IZephFileNavigator** navigator) override;
    HRESULT STDMETHODCALLTYPE FormatOperation4(LONG_PTR arg1, LONG_PTR arg2, LONG_PTR arg3, LONG_PTR arg4,
                                               void* arg5) override;
    HRESULT STDMETHODCALLTYPE FormatOperation5(LONG_PTR arg1, void* arg2) override;

    // ISupportErrorInfo: a failed CreateNavigator leaves an error object
    // that says why (mostly the navigator's Init has described it).
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override
    {
        return SupportsErrorInfo(iid, {&IID_IZephFileFormat});
    }

private:
    using Base = ComObject<CIniFormat, AtomicRefCount, IIniFormat, IZephFileFormat, ISupportErrorInfo>;
    friend Base;

    // Aggregates the free-threaded marshaler into the object's identity.
    HRESULT FinalConstruct() noexcept;
    // IMarshal is answered by the aggregated marshaler.
    HRESULT QueryExtraInterface(REFIID iid, void** result) noexcept;

    Microsoft::WRL::ComPtr<IUnknown> marshaler;
};
