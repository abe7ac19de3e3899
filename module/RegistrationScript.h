#pragma once
// Runs one class's registration script, held in the module's "REGISTRY"
// resources, with the module's path for %MODULE%.
#include <windows.h>

#include "module/Registrar.h"

HRESULT RunRegistrationScript(HMODULE module, UINT resourceId, RegistrarMode mode) noexcept;
