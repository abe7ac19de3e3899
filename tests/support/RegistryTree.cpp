#include "support/RegistryTree.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <vector>

#include "platform/windows/UniqueHandle.h"

namespace {

// The key at `path` below `root` opened for reading; nothing when it cannot be.
UniqueHKey OpenKey(HKEY root, const std::wstring& path)
{
    UniqueHKey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        key.release();  // a failed open leaves nothing to close
    return key;
}

RegistryTree ReadOpenKey(HKEY key)
{
    RegistryTree tree;
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];
        DWORD nameLength = 16384;
        DWORD type = 0;
        DWORD bytes = 0;
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS)
            break;
        std::vector<BYTE> data(bytes + sizeof(wchar_t), 0);
        nameLength = 16384;
        RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data.data(), &bytes);
        tree.values[name] = type == REG_SZ ? std::wstring(reinterpret_cast<const wchar_t*>(data.data()))
                                           : L"<type " + std::to_wstring(type) + L">";
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256;
        if (RegEnumKeyExW(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        const UniqueHKey subkey = OpenKey(key, name);
        tree.subkeys[name] = ReadOpenKey(subkey.get());
    }
    return tree;
}

std::string Narrow(const std::wstring& text)
{
    std::string narrow;
    for (const wchar_t unit : text)
        narrow.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    return narrow;
}

void Print(const RegistryTree& tree, const std::string& indent, std::ostream* out)
{
    for (const auto& [name, data] : tree.values)
        *out << indent << (name.empty() ? "@" : Narrow(name)) << " = '" << Narrow(data) << "'\n";
    for (const auto& [name, subtree] : tree.subkeys) {
        *out << indent << "[" << Narrow(name) << "]\n";
        Print(subtree, indent + "  ", out);
    }
}

}  // namespace

void PrintTo(const RegistryTree& tree, std::ostream* out)
{
    *out << "\n";
    Print(tree, "  ", out);
}

std::optional<RegistryTree> ReadRegistryTree(HKEY root, const std::wstring& path)
{
    const UniqueHKey key = OpenKey(root, path);
    if (!key)
        return std::nullopt;
    return ReadOpenKey(key.get());
}

bool RegistryKeyExists(HKEY root, const std::wstring& path) { return OpenKey(root, path).valid(); }

std::optional<std::wstring> ReadRegistryText(HKEY root, const std::wstring& path, const std::wstring& name)
{
    wchar_t text[2048];
    DWORD bytes = sizeof(text);
    if (RegGetValueW(root, path.c_str(), name.empty() ? nullptr : name.c_str(), RRF_RT_REG_SZ, nullptr, text, &bytes) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(text);
}

void WriteRegistryText(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& text)
{
    const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(root, path.c_str(), name.empty() ? nullptr : name.c_str(), REG_SZ,
                                             text.c_str(), bytes))
        << "cannot write a value of test data";
}

void CreateRegistryKey(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr))
        << "cannot create a key of test data";
    RegCloseKey(key);
}

void DeleteRegistryTree(HKEY root, const std::wstring& path)
{
    const LONG status = RegDeleteTreeW(root, path.c_str());
    EXPECT_TRUE(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) << "cannot delete test data, error " << status;
}

std::wstring GuidText(REFGUID guid)
{
    wchar_t text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}
