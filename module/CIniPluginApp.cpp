#include "module/CIniPluginApp.h"

#include "com/ModuleState.h"
#include "module/ClassTable.h"
#include "module/ProxyStub.h"

void CIniPluginApp::InitInstance(HINSTANCE instance) noexcept
{
    ThisModuleState().instance = instance;
    // NdrDllRegisterProxy needs the handle; without it registration fails with E_HANDLE.
    hProxyDll = instance;
}

void CIniPluginApp::ExitInstance() noexcept { ReleaseClassObjects(); }
