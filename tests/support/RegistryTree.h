#pragma once
// Registry subtrees as values, so tests can compare them and print them.
#include <windows.h>

#include <map>
#include <optional>
#include <ostream>
#include <string>

struct RegistryTree {
    // Value name ("" for the default value) to its data; a string value
    // reads as its text, any other type as "<type N>".
    std::map<std::wstring, std::wstring> values;
    std::map<std::wstring, RegistryTree> subkeys;

    bool operator==(const RegistryTree& other) const { return values == other.values && subkeys == other.subkeys; }
    bool operator!=(const RegistryTree& other) const { return !(*this == other); }
};

void PrintTo(const RegistryTree& tree, std::ostream* out);

// The subtree at `path` below `root`, or nothing when the key does not exist.
std::optional<RegistryTree> ReadRegistryTree(HKEY root, const std::wstring& path);

bool RegistryKeyExists(HKEY root, const std::wstring& path);
// The text of a string value, or nothing when the key or value is missing.
std::optional<std::wstring> ReadRegistryText(HKEY root, const std::wstring& path, const std::wstring& name = L"");
// Creates the key if need be and sets a string value in it.
void WriteRegistryText(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& text);
void CreateRegistryKey(HKEY root, const std::wstring& path);
// Deletes the key with its whole subtree; a missing key is no error.
void DeleteRegistryTree(HKEY root, const std::wstring& path);

// A GUID in registry form: upper-case, hyphenated, in braces.
std::wstring GuidText(REFGUID guid);
