#include "module/CIniPluginApp.h"

#include "module/ClassTable.h"
#include "module/ModuleState.h"
#include "module/ProxyStub.h"

bool CIniPluginApp::InitInstance(HINSTANCE instance) noexcept
{
    ThisModuleState().instance = instance;
    // NdrDllRegisterProxy needs the handle; without it registration fails with E_HANDLE.
    hProxyDll = instance;
    return true;
}

void CIniPluginApp::ExitInstance() noexcept { ReleaseClassObjects(); }
