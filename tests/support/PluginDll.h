#pragma once
// The built plug-in DLL, loaded by path for the length of a test, with its
// four exports. Objects obtained from it must be released before it is
// freed: declare it before them.
#include <windows.h>

#include <string>

#include "platform/windows/UniqueHandle.h"

class PluginDll {
public:
    // Loads the DLL the build made (or the copy at `path`); the test fails if it cannot.
    PluginDll();
    explicit PluginDll(const std::wstring& path);
    PluginDll(const PluginDll&) = delete;
    PluginDll& operator=(const PluginDll&) = delete;

    // The built DLL's Windows path (Wine's Z: drive is the Linux root).
    static std::wstring BuiltPath();

    HMODULE handle() const { return module_.get(); }
    HRESULT CanUnloadNow() const;
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** result) const;
    HRESULT RegisterServer() const;
    HRESULT UnregisterServer() const;

    template <class Interface>
    HRESULT GetClassObject(REFCLSID clsid, Interface** result) const
    {
        return GetClassObject(clsid, __uuidof(Interface), reinterpret_cast<void**>(result));
    }

private:
    template <class Function>
    Function Export(const char* name) const;

    UniqueModule module_;
};
