#include "module/SelfRegistration.h"

#include "module/ClassTable.h"
#include "module/ProxyStub.h"
#include "module/RegistrationScript.h"
#include "module/TypeLibRegistration.h"

HRESULT RegisterServer(HMODULE module) noexcept
{
    // Each step stops the rest when it fails; what earlier steps wrote stays.
    HRESULT hr = PROXY_DllRegisterServer();
    if (FAILED(hr))
        return hr;
    for (const ClassEntry& entry : ClassEntries()) {
        hr = RunRegistrationScript(module, entry.registrationScript, RegistrarMode::Register);
        if (FAILED(hr))
            return hr;
    }
    return RegisterModuleTypeLib(module);
}

HRESULT UnregisterServer(HMODULE module) noexcept
{
    // Whatever the proxy/stub's own unregistration finds, the classes and
    // the type library are still taken out.
    PROXY_DllUnregisterServer();
    for (const ClassEntry& entry : ClassEntries()) {
        const HRESULT hr = RunRegistrationScript(module, entry.registrationScript, RegistrarMode::Unregister);
        if (FAILED(hr))
            return hr;
    }
    return UnregisterModuleTypeLib(module);
}
