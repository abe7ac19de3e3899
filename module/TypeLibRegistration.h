#pragma once
// Machine-wide registration of the module's type library, which the module
// carries as its "TYPELIB" resource 1.
#include <windows.h>

HRESULT RegisterModuleTypeLib(HMODULE module) noexcept;
HRESULT UnregisterModuleTypeLib(HMODULE module) noexcept;
