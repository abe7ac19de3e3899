// The module's entry point and its four exports (ordinals in IniPlugin.def).
#include <windows.h>

#include "com/ModuleLock.h"
#include "com/ModuleState.h"
#include "module/CIniPluginApp.h"
#include "module/ClassTable.h"
#include "module/ProxyStub.h"
#include "module/SelfRegistration.h"

namespace {
CIniPluginApp application;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        application.InitInstance(instance);
    else if (reason == DLL_PROCESS_DETACH)
        application.ExitInstance();
    return TRUE;
}

STDAPI DllCanUnloadNow()
{
    if (PROXY_DllCanUnloadNow() != S_OK)
        return S_FALSE;
    ModuleStateScope moduleState;
    // The cached class objects do not count: only objects, class objects
    // held by others and LockServer locks keep the module loaded.
    return ModuleLockCount() == 0 ? S_OK : S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** result)
{
    if (result == nullptr)
        return E_POINTER;
    // The proxy/stub answers for its own class identifier.
    if (PROXY_DllGetClassObject(clsid, iid, result) == S_OK)
        return S_OK;
    return GetClassObject(clsid, iid, result);
}

STDAPI DllRegisterServer() { return RegisterServer(ThisModuleState().instance); }

STDAPI DllUnregisterServer() { return UnregisterServer(ThisModuleState().instance); }
