#pragma once
// The expectations on the plug-in's type library, however it was reached:
// from the DLL's file or through its registration.
#include <windows.h>
#include <oaidl.h>

void ExpectPluginTypeLibrary(ITypeLib* library);
