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
    if (module_ == nullptr)
        throw PluginUnavailable{L"cannot load " + dllPath + L": " + SystemMessage(HRESULT_FROM_WIN32(GetLastError()))};
    if (Export<GetClassObjectFunction>(module_, "DllGetClassObject") == nullptr) {
        FreeLibrary(module_);
        throw PluginUnavailable{dllPath + L" has no DllGetClassObject: it is not a COM server"};
    }
}

Plugin::~Plugin()
{
    if (module_ != nullptr)
        FreeLibrary(module_);
}

HRESULT Plugin::Create(REFCLSID classId, REFIID iid, void** object) const
{
    *object = nullptr;
    if (module_ == nullptr)
        return CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, iid, object);
    Microsoft::WRL::ComPtr<IClassFactory> factory;
    const HRESULT hr = Export<GetClassObjectFunction>(module_, "DllGetClassObject")(classId, IID_IClassFactory,
                                                                                    &factory);
    if (FAILED(hr))
        return hr;
    return factory->CreateInstance(nullptr, iid, object);
}

std::optional<HRESULT> Plugin::CanUnloadNow() const
{
    if (module_ == nullptr)
        return std::nullopt;
    const auto canUnloadNow = Export<CanUnloadNowFunction>(module_, "DllCanUnloadNow");
    if (canUnloadNow == nullptr)
        return std::nullopt;
    return canUnloadNow();
}
