#pragma once
// Reaches the plug-in the way a host does: through its registered classes
// and the COM runtime, or, given a DLL path, through that file's own
// DllGetClassObject without any registration.
#include <windows.h>
#include <wrl/client.h>

#include <optional>
#include <string>

#include "HostContract.h"
#include "platform/windows/UniqueHandle.h"

class Plugin {
public:
    // Registered classes.
    Plugin() = default;
    // The DLL at `dllPath`; throws PluginUnavailable when it cannot be loaded.
    explicit Plugin(const std::wstring& dllPath);
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    // Creates an object of the class; the HRESULT says why not.
    HRESULT Create(REFCLSID classId, REFIID iid, void** object) const;

    // The module's own unload answer; only for a DLL loaded by path.
    std::optional<HRESULT> CanUnloadNow() const;

    bool loadedByPath() const { return module_.valid(); }

private:
    UniqueModule module_;
};

// The plug-in could not be reached at all.
struct PluginUnavailable {
    std::wstring message;
};
