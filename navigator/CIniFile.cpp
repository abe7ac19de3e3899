#include "navigator/CIniFile.h"

#include <array>
#include <initializer_list>

#include "convert/TextToValue.h"
#include "module/ModuleState.h"
#include "navigator/IniAccessMode.h"
#include "platform/ComError.h"
#include "platform/WideText.h"

namespace {

// Names the host passes as null are read as empty names: handed on as null,
// the private-profile read would list the file's section or key names
// instead of reading one value.
const wchar_t* NameOrEmpty(BSTR name) { return name != nullptr ? name : L""; }

// The path as an absolute one, so that the profile functions (which look for
// a bare name in the Windows folder) and the document (which opens it
// relative to the current folder) reach the same file.
std::u16string AbsolutePath(const wchar_t* given)
{
    const std::u16string asGiven = U16FromWide(given);
    if (asGiven.empty())
        return asGiven;
    std::u16string absolute(MAX_PATH, u'\0');
    for (;;) {
        const DWORD needed =
            GetFullPathNameW(AsWide(asGiven), static_cast<DWORD>(absolute.size()), AsWide(&absolute[0]), nullptr);
        if (needed == 0)
            return asGiven;
        if (needed < absolute.size()) {
            absolute.resize(needed);
            return absolute;
        }
        absolute.resize(needed);
    }
}

// An unsupported operation: E_NOTIMPL when every pointer that decides it is
// given, E_POINTER otherwise.
HRESULT NotImplementedUnlessNull(std::initializer_list<const void*> pointers)
{
    for (const void* pointer : pointers) {
        if (pointer == nullptr)
            return E_POINTER;
    }
    return E_NOTIMPL;
}

}  // namespace

HRESULT CIniFile::Init(LPCWSTR filePath, LONG_PTR)
{
    ModuleStateScope moduleState;
    return ComBoundary([&] {
        DecideAccessMode();
        path = AbsolutePath(filePath);
        return S_OK;
    });
}

HRESULT CIniFile::ReadVariables(LONG_PTR, LONG firstOnly, LONG_PTR, LONG count, VariableRecord* records)
{
    ModuleStateScope moduleState;
    if (records == nullptr)
        return E_POINTER;
    return ComBoundary([&] {
        std::array<wchar_t, kValueBufferUnits> buffer;
        for (LONG index = 0; index < count; ++index) {
            VariableRecord& record = records[index];
            ReadRawValue(NameOrEmpty(record.sectionName), NameOrEmpty(record.keyName), L"", buffer.data(),
                         kValueBufferUnits - 1);
            buffer[kValueBufferUnits - 1] = L'\0';
            if (buffer[0] == L'\0') {
                record.found = 0;
                continue;
            }
            record.found = 1;
            if (!TextToValue(record.value, buffer.data()))
                return E_OUTOFMEMORY;
            if (firstOnly != 0)
                return S_OK;
        }
        return S_OK;
    });
}

void CIniFile::ReadRawValue(const wchar_t* section, const wchar_t* key, const wchar_t* defaultText, wchar_t* buffer,
                            int capacity) const
{
    GetPrivateProfileStringW(section, key, defaultText, buffer, static_cast<DWORD>(capacity), AsWide(path));
}

HRESULT CIniFile::WriteVariables(LONG_PTR, LONG, LONG_PTR, LONG, VariableRecord*, LONG) { return E_NOTIMPL; }

HRESULT CIniFile::Commit() { return E_NOTIMPL; }

HRESULT CIniFile::NavigatorOperation1(LONG_PTR, void* arg2, void* arg3) { return NotImplementedUnlessNull({arg2, arg3}); }
HRESULT CIniFile::NavigatorOperation2() { return E_NOTIMPL; }
HRESULT CIniFile::NavigatorOperation3(void* arg1) { return NotImplementedUnlessNull({arg1}); }
HRESULT CIniFile::NavigatorOperation4(void* arg1, void* arg2, void* arg3, void* arg4, void* arg5)
{
    return NotImplementedUnlessNull({arg1, arg2, arg3, arg4, arg5});
}
HRESULT CIniFile::NavigatorOperation5(LONG_PTR, LONG_PTR, void* arg3, void* arg4)
{
    return NotImplementedUnlessNull({arg3, arg4});
}
HRESULT CIniFile::NavigatorOperation6(LONG_PTR, LONG_PTR, void* arg3, void* arg4)
{
    return NotImplementedUnlessNull({arg3, arg4});
}
HRESULT CIniFile::NavigatorOperation9(void* arg1, void* arg2) { return NotImplementedUnlessNull({arg1, arg2}); }
HRESULT CIniFile::NavigatorOperation10(LONG_PTR, LONG_PTR, void* arg3) { return NotImplementedUnlessNull({arg3}); }
HRESULT CIniFile::NavigatorOperation11(LONG_PTR, void* arg2, void* arg3) { return NotImplementedUnlessNull({arg2, arg3}); }
HRESULT CIniFile::NavigatorOperation12() { return E_NOTIMPL; }
HRESULT CIniFile::NavigatorOperation14(void* arg1) { return NotImplementedUnlessNull({arg1}); }
HRESULT CIniFile::NavigatorOperation15(LONG_PTR, LONG_PTR, LONG_PTR, void* arg4, void* arg5)
{
    return NotImplementedUnlessNull({arg4, arg5});
}
HRESULT CIniFile::NavigatorOperation16() { return E_NOTIMPL; }
HRESULT CIniFile::NavigatorOperation17() { return S_OK; }
HRESULT CIniFile::NavigatorOperation18() { return S_OK; }
HRESULT CIniFile::NavigatorOperation19() { return E_NOTIMPL; }
HRESULT CIniFile::NavigatorOperation20() { return E_NOTIMPL; }
