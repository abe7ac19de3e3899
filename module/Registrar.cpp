#include "module/Registrar.h"

#include "com/ComError.h"
#include "platform/windows/UniqueHandle.h"
#include "platform/windows/WideText.h"

namespace {

void ThrowIfError(LONG status)
{
    if (status != ERROR_SUCCESS)
        ThrowHResult(HRESULT_FROM_WIN32(status));
}

// For deletions: what is already gone is no error.
void ThrowIfErrorUnlessMissing(LONG status)
{
    if (status != ERROR_FILE_NOT_FOUND)
        ThrowIfError(status);
}

void SetText(HKEY key, const std::u16string& name, const std::u16string& text)
{
    const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(char16_t));
    ThrowIfError(RegSetValueExW(key, AsWide(name), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes));
}

bool HasSubkeys(HKEY key)
{
    DWORD subkeys = 0;
    ThrowIfError(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                                  nullptr, nullptr, nullptr));
    return subkeys != 0;
}

void WriteEntries(HKEY parent, const std::vector<RegistrarEntry>& entries)
{
    for (const RegistrarEntry& entry : entries) {
        if (entry.kind == RegistrarEntry::Kind::Value) {
            SetText(parent, entry.name, *entry.text);
            continue;
        }
        if (entry.flag == RegistrarEntry::Flag::ForceRemove || entry.flag == RegistrarEntry::Flag::Delete)
            ThrowIfErrorUnlessMissing(RegDeleteTreeW(parent, AsWide(entry.name)));
        if (entry.flag == RegistrarEntry::Flag::Delete)
            continue;
        UniqueHKey key;
        ThrowIfError(RegCreateKeyExW(parent, AsWide(entry.name), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_READ | KEY_WRITE, nullptr, key.put(), nullptr));
        if (entry.text)
            SetText(key.get(), u"", *entry.text);
        WriteEntries(key.get(), entry.entries);
    }
}

void RemoveEntries(HKEY parent, const std::vector<RegistrarEntry>& entries)
{
    for (const RegistrarEntry& entry : entries) {
        if (entry.kind == RegistrarEntry::Kind::Value) {
            ThrowIfErrorUnlessMissing(RegDeleteValueW(parent, AsWide(entry.name)));
            continue;
        }
        if (entry.flag == RegistrarEntry::Flag::Delete)
            continue;
        UniqueHKey key;
        const LONG opened = RegOpenKeyExW(parent, AsWide(entry.name), 0, KEY_READ | KEY_WRITE, key.put());
        if (opened == ERROR_FILE_NOT_FOUND)
            continue;
        ThrowIfError(opened);
        RemoveEntries(key.get(), entry.entries);
        if (entry.flag == RegistrarEntry::Flag::NoRemove || HasSubkeys(key.get()))
            continue;
        key.reset();
        ThrowIfErrorUnlessMissing(RegDeleteKeyW(parent, AsWide(entry.name)));
    }
}

}  // namespace

HRESULT RunRegistrarScript(std::u16string_view script, const RegistrarReplacements& replacements,
                           RegistrarMode mode) noexcept
{
    return ComBoundary([&] {
        const std::vector<RegistrarRootBlock> blocks = ParseRegistrarScript(script, replacements);
        for (const RegistrarRootBlock& block : blocks) {
            if (mode == RegistrarMode::Unregister) {
                RemoveEntries(block.root, block.entries);
                continue;
            }
            const HRESULT written = ComBoundary([&] {
                WriteEntries(block.root, block.entries);
                return S_OK;
            });
            if (FAILED(written)) {
                // Best effort: the write's failure is what the caller learns.
                ComBoundary([&] {
                    RemoveEntries(block.root, block.entries);
                    return S_OK;
                });
                return written;
            }
        }
        return S_OK;
    });
}
