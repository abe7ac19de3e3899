#pragma once
// What DllRegisterServer and DllUnregisterServer do: the proxy/stub, each
// class's registration script in table order, then the type library. All of
// it is machine-wide.
#include <windows.h>

HRESULT RegisterServer(HMODULE module) noexcept;
HRESULT UnregisterServer(HMODULE module) noexcept;
