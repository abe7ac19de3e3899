#pragma once
// The merged proxy/stub of IIniFormat and IIniFile: widl's generated code
// (ProxyStub.c, ProxyStubList.c), with its DLL entry points renamed with a
// PROXY_ prefix so that the module's own exports can offer each request to
// it first. Its class identifier is the IID of IIniFormat.
#include <windows.h>

extern "C" {
// The module handle the proxy/stub registers itself with; recorded at start-up.
extern HINSTANCE hProxyDll;

HRESULT WINAPI PROXY_DllGetClassObject(REFCLSID clsid, REFIID iid, void** result);
HRESULT WINAPI PROXY_DllCanUnloadNow();
HRESULT WINAPI PROXY_DllRegisterServer();
HRESULT WINAPI PROXY_DllUnregisterServer();
}
