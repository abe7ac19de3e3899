#include "Plugin.h"

#include "Errors.h"

namespace {

using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNowFunction = HRESULT(STDAPICALLTYPE*)();

template <class Function>
Function Export(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

Plugin::Plugin(const std::wstring& dllPath) : module_(LoadLibraryW(dllPath.c_str()))
{
    if (!module_)
        throw PluginUnavailable{L"cannot load " + dllPath + L": " + SystemMessage(HRESULT_FROM_WIN32(GetLastError()))};
    if (Export<GetClassObjectFunction>(module_.get(), "DllGetClassObject") == nullptr)
        throw PluginUnavailable{dllPath + L" has no DllGetClassObject: it is not a COM server"};
}

HRESULT Plugin::Create(REFCLSID classId, REFIID iid, void** object) const
{
    *object = nullptr;
    if (!module_)
        return CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, iid, object);
    Microsoft::WRL::ComPtr<IClassFactory> factory;
    const HRESULT hr = Export<GetClassObjectFunction>(module_.get(), "DllGetClassObject")(classId, IID_IClassFactory,
                                                                                    &factory);
    if (FAILED(hr))
        return hr;
    return factory->CreateInstance(nullptr, iid, object);
}

std::optional<HRESULT> Plugin::CanUnloadNow() const
{
    if (!module_)
        return std::nullopt;
    const auto canUnloadNow = Export<CanUnloadNowFunction>(module_.get(), "DllCanUnloadNow");
    if (canUnloadNow == nullptr)
        return std::nullopt;
    return canUnloadNow();
}
