#include "module/TypeLibRegistration.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <string>

#include "com/Bstr.h"
#include "com/ComError.h"
#include "module/ModulePath.h"
#include "platform/windows/WideText.h"

namespace {

struct LoadedTypeLib {
    Microsoft::WRL::ComPtr<ITypeLib> library;
    std::u16string path;  // the file it was loaded from
};

// `path` with its file extension replaced by ".tlb" (added when it has none).
std::u16string WithTlbExtension(std::u16string path)
{
    const size_t nameStart = path.find_last_of(u"\\/");
    const size_t dot = path.rfind(u'.');
    if (dot != std::u16string::npos && (nameStart == std::u16string::npos || dot > nameStart))
        path.resize(dot);
    return path + u".tlb";
}

// The library from the module's own file, or else from the .tlb file beside it.
LoadedTypeLib LoadModuleTypeLib(HMODULE module)
{
    LoadedTypeLib loaded;
    loaded.path = ModuleFileName(module);
    if (SUCCEEDED(LoadTypeLibEx(AsWide(loaded.path), REGKIND_NONE, &loaded.library)))
        return loaded;
    loaded.path = WithTlbExtension(loaded.path);
    ThrowIfFailed(LoadTypeLibEx(AsWide(loaded.path), REGKIND_NONE, &loaded.library));
    return loaded;
}

// Whether any path is registered for this version and locale of the library.
bool IsRegistered(const TLIBATTR& identity)
{
    UniqueBstr path;
    return QueryPathOfRegTypeLib(identity.guid, identity.wMajorVerNum, identity.wMinorVerNum, identity.lcid,
                                 path.put()) != TYPE_E_LIBNOTREGISTERED;
}

}  // namespace

HRESULT RegisterModuleTypeLib(HMODULE module) noexcept
{
    return ComBoundary([&] {
        const LoadedTypeLib loaded = LoadModuleTypeLib(module);
        // The library names no help file, so it needs no help folder.
        std::u16string path = loaded.path;
        return RegisterTypeLib(loaded.library.Get(), AsWide(&path[0]), nullptr);
    });
}

HRESULT UnregisterModuleTypeLib(HMODULE module) noexcept
{
    return ComBoundary([&] {
        const LoadedTypeLib loaded = LoadModuleTypeLib(module);
        TLIBATTR* attributes = nullptr;
        ThrowIfFailed(loaded.library->GetLibAttr(&attributes));
        const TLIBATTR identity = *attributes;
        loaded.library->ReleaseTLibAttr(attributes);
        const HRESULT result = UnRegisterTypeLib(identity.guid, identity.wMajorVerNum, identity.wMinorVerNum,
                                                 identity.lcid, identity.syskind);
        // A library that is not registered at all is already as unregistering
        // would leave it; the system reports that as a failure.
        if (FAILED(result) && !IsRegistered(identity))
            return S_OK;
        return result;
    });
}
