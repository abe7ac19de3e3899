#include "tools/regexport/WixRegistry.h"

#include <stdexcept>
#include <string_view>

namespace {

std::string Utf8(std::wstring_view text)
{
    if (text.empty())
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr, nullptr);
    return utf8;
}

[[noreturn]] void Refuse(const CapturedKey& key, const std::wstring& what)
{
    throw std::runtime_error(Utf8(L"HKEY_CLASSES_ROOT\\" + key.path + L": " + what));
}

bool SameText(std::wstring_view a, std::wstring_view b)
{
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

bool Contains(std::wstring_view text, std::wstring_view part)
{
    for (size_t start = 0; start + part.size() <= text.size(); ++start) {
        if (SameText(text.substr(start, part.size()), part))
            return true;
    }
    return false;
}

std::wstring FolderOf(const std::wstring& file) { return file.substr(0, file.find_last_of(L"\\/")); }

// Formatted text, as the Registry table reads it: brackets are property
// references, and braces around one make it conditional, so a text with
// either has all four escaped.
std::wstring Formatted(const std::wstring& text)
{
    if (text.find_first_of(L"[]") == std::wstring::npos)
        return text;
    std::wstring escaped;
    for (const wchar_t unit : text) {
        if (unit == L'[' || unit == L']' || unit == L'{' || unit == L'}')
            escaped += std::wstring(L"[\\") + unit + L"]";
        else
            escaped += unit;
    }
    return escaped;
}

std::string XmlAttribute(std::wstring_view text)
{
    std::string escaped;
    for (const char unit : Utf8(text)) {
        switch (unit) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        default: escaped += unit;
        }
    }
    return escaped;
}

std::wstring InstalledText(const CapturedKey& key, const CapturedValue& value, const std::wstring& builtDll,
                          const InstalledPaths& paths)
{
    if (value.type != REG_SZ)
        Refuse(key, L"value \"" + value.name + L"\" is not a string");
    const std::wstring folder = FolderOf(builtDll);
    if (SameText(value.text, builtDll))
        return L"[#" + paths.fileId + L"]";
    if (SameText(value.text, folder) || SameText(value.text, folder + L"\\"))
        return L"[" + paths.folderProperty + L"]";
    if (Contains(value.text, folder))
        Refuse(key, L"value \"" + value.name + L"\" names the build folder: " + value.text);
    // An empty text would read as "no value"; one that starts with "#" as a number.
    if (value.text.empty() || value.text[0] == L'#')
        Refuse(key, L"value \"" + value.name + L"\" cannot be written as a Registry table string");
    return Formatted(value.text);
}

}  // namespace

std::string WixRegistryInclude(const CapturedRegistration& registration, const InstalledPaths& paths)
{
    std::string include =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<!-- Generated at build time by regexport from what DllRegisterServer writes; do not edit. -->\n"
        "<Include>\n";
    for (const CapturedKey& key : registration.keys) {
        if (key.values.empty() && key.subkeys == 0)
            Refuse(key, L"a key without values cannot be written by a RegistryValue");
        for (const CapturedValue& value : key.values) {
            include += "  <RegistryValue Root=\"HKCR\" Key=\"" + XmlAttribute(Formatted(key.path)) + "\"";
            if (!value.name.empty())
                include += " Name=\"" + XmlAttribute(Formatted(value.name)) + "\"";
            const std::wstring text = InstalledText(key, value, registration.modulePath, paths);
            include += " Type=\"string\" Value=\"" + XmlAttribute(text) + "\" />\n";
        }
    }
    include += "</Include>\n";
    return include;
}
