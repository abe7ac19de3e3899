#include "Host.h"

#include "IniPlugin.h"
#include "com/Bstr.h"

namespace {

std::optional<std::wstring> TextOf(const UniqueBstr& text)
{
    if (text.get() == nullptr)
        return std::nullopt;
    return std::wstring(text.get(), SysStringLen(text.get()));
}

}  // namespace

Host::Host(const Plugin& plugin) : plugin_(plugin)
{
    creation_ = plugin_.Create(CLSID_IniFormat, IID_IZephFileFormat, &format_);
}

Outcome Host::Open(const wchar_t* path, bool throughClass)
{
    navigator_.Reset();
    if (!throughClass)
        return Described(format_->CreateNavigator(path, 0, &navigator_), format_.Get(), IID_IZephFileFormat);
    Microsoft::WRL::ComPtr<IZephFileNavigatorInit> init;
    HRESULT hr = plugin_.Create(CLSID_IniFile, IID_IZephFileNavigatorInit, &init);
    if (FAILED(hr))
        return {hr, std::nullopt};
    hr = init->Init(path, 0);
    if (SUCCEEDED(hr))
        hr = init.As(&navigator_);
    return Described(hr, init.Get(), IID_IZephFileNavigatorInit);
}

FormatInfo Host::Info() const
{
    UniqueBstr vendor, description, extensions;
    const HRESULT hr = format_->GetFormatInfo(vendor.put(), description.put(), extensions.put());
    return {hr, TextOf(vendor), TextOf(description), TextOf(extensions)};
}
