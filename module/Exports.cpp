// The module's exports.
#include <windows.h>

#include "module/ModuleLock.h"
#include "module/ModuleState.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        ThisModuleState().instance = instance;
    return TRUE;
}

STDAPI DllCanUnloadNow()
{
    ModuleStateScope moduleState;
    return ModuleLockCount() == 0 ? S_OK : S_FALSE;
}
