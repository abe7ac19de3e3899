#include "module/RegistrationScript.h"

#include <string>

#include "com/ComError.h"
#include "module/LastError.h"
#include "module/ModulePath.h"
#include "platform/Text.h"

namespace {

// The script's text; the resource holds it in the ANSI code page.
std::u16string LoadScript(HMODULE module, UINT resourceId)
{
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(resourceId), L"REGISTRY");
    if (found == nullptr)
        ThrowHResult(LastErrorAsHResult());
    HGLOBAL loaded = LoadResource(module, found);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr)
        ThrowHResult(LastErrorAsHResult());
    std::u16string script;
    if (!platform::AppendAnsiAsUtf16(std::string_view(static_cast<const char*>(bytes), SizeofResource(module, found)),
                                     script))
        ThrowHResult(HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION));
    return script;
}

}  // namespace

HRESULT RunRegistrationScript(HMODULE module, UINT resourceId, RegistrarMode mode) noexcept
{
    return ComBoundary([&] {
        // The path goes into quoted script strings, so its quotes are doubled;
        // the script shows it without quotes around it.
        const std::u16string path = DoubledQuotes(ModuleFileName(module));
        const RegistrarReplacements replacements = {
            {u"Module", path},
            {u"Module_Raw", path},
            {u"APPID", u""},
        };
        return RunRegistrarScript(LoadScript(module, resourceId), replacements, mode);
    });
}
