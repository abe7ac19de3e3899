#pragma once
// What inihost does as a host: one format object, at most one navigator.
#include <windows.h>
#include <wrl/client.h>

#include <optional>
#include <string>

#include "Errors.h"
#include "HostContract.h"
#include "Plugin.h"

// What GetFormatInfo answered; a string the plug-in left null is empty.
struct FormatInfo {
    HRESULT result;
    std::optional<std::wstring> vendor;
    std::optional<std::wstring> description;
    std::optional<std::wstring> extensions;
};

class Host {
public:
    // Creates the format object; a failure leaves `format()` null and is
    // returned by `creation()`.
    explicit Host(const Plugin& plugin);

    HRESULT creation() const { return creation_; }
    IZephFileFormat* format() const { return format_.Get(); }
    IZephFileNavigator* navigator() const { return navigator_.Get(); }
    const Plugin& plugin() const { return plugin_; }

    // Releases the current navigator, then opens `path` (null: a null path)
    // through the format object's CreateNavigator, or, `throughClass`, by
    // creating a navigator from its class and calling Init itself.
    Outcome Open(const wchar_t* path, bool throughClass);

    // The format object's GetFormatInfo.
    FormatInfo Info() const;
    void Close() { navigator_.Reset(); }

private:
    const Plugin& plugin_;
    HRESULT creation_;
    Microsoft::WRL::ComPtr<IZephFileFormat> format_;
    Microsoft::WRL::ComPtr<IZephFileNavigator> navigator_;
};
