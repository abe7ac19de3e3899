#include "navigator/CIniFile.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <initializer_list>

#include "convert/TextToValue.h"
#include "convert/ValueToText.h"
#include "module/ModuleState.h"
#include "navigator/ErrorInfo.h"
#include "navigator/IniAccessMode.h"
#include "platform/ComError.h"
#include "platform/WideText.h"

// The host passes records in contiguous arrays, 48 bytes apart, and reads
// `value` and `found` where it put them.
static_assert(sizeof(VariableRecord) == 48, "the host's record is 48 bytes");
static_assert(offsetof(VariableRecord, keyName) == 0 && offsetof(VariableRecord, sectionName) == 8,
              "the names lead the record");
static_assert(offsetof(VariableRecord, value) == 16 && sizeof(VARIANT) == 24, "the value is at 16");
static_assert(offsetof(VariableRecord, found) == 40 && sizeof(VariableRecord::found) == 4, "found is at 40");

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

// The text a write puts into the file for the record's value; a value that
// has none fails with the platform's HRESULT, naming the record's key.
std::u16string TextOfValue(const VariableRecord& record, LONG formatSelector)
{
    try {
        return ValueToText(record.value, formatSelector);
    } catch (const HResultError& error) {
        if (error.code() == E_OUTOFMEMORY)
            throw;
        throw UnwritableValue(error.code(), HostText(record.keyName));
    }
}

// A line break in a name or a value would add lines, and with them sections
// and keys, to the file.
bool HoldsLineBreak(std::u16string_view text)
{
    return text.find_first_of(u"\r\n") != std::u16string_view::npos;
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
    return ReportingBoundary(IID_IZephFileNavigatorInit, FileStep::Open, HostText(filePath), [&] {
        const IniAccessMode mode = DecideAccessMode();
        path = AbsolutePath(filePath);
        if (mode == IniAccessMode::InMemory && !document.Load(path))
            throw FileStepError(FileStep::Read, document.lastError());
        return S_OK;
    });
}

HRESULT CIniFile::ReadVariables(LONG_PTR, LONG firstOnly, LONG_PTR, LONG count, VariableRecord* records)
{
    ModuleStateScope moduleState;
    return ReportingBoundary(IID_IZephFileNavigator, FileStep::Read, path, [&]() -> HRESULT {
        if (records == nullptr)
            return E_POINTER;
        std::array<wchar_t, kValueBufferUnits> buffer;
        for (LONG index = 0; index < count; ++index) {
            VariableRecord& record = records[index];
            FetchValueText(NameOrEmpty(record.sectionName), NameOrEmpty(record.keyName), buffer.data());
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

bool CIniFile::UsesInMemoryPath() const noexcept
{
    return CurrentAccessMode() != IniAccessMode::ProfileApi && document.unicode();
}

void CIniFile::FetchValueText(const wchar_t* section, const wchar_t* key, wchar_t* buffer) const
{
    if (UsesInMemoryPath())
        CopyDocumentText(section, key, L"", buffer, kValueBufferUnits);
    else
        GetPrivateProfileStringW(section, key, L"", buffer, kValueBufferUnits - 1, AsWide(path));
}

void CIniFile::ReadRawValue(const wchar_t* section, const wchar_t* key, const wchar_t* defaultText, wchar_t* buffer,
                            int capacity) const
{
    if (UsesInMemoryPath()) {
        CopyDocumentText(section, key, defaultText, buffer, capacity);
        buffer[capacity - 1] = L'\0';
    } else {
        GetPrivateProfileStringW(section, key, defaultText, buffer, static_cast<DWORD>(capacity), AsWide(path));
    }
}

void CIniFile::CopyDocumentText(const wchar_t* section, const wchar_t* key, const wchar_t* defaultText,
                                wchar_t* buffer, int capacity) const
{
    std::u16string text;
    if (!document.GetValue(AsU16(section), AsU16(key), text))
        text = AsU16(defaultText);
    const size_t copied = std::min(text.size(), static_cast<size_t>(capacity));
    std::copy_n(AsWide(text.data()), copied, buffer);
    if (copied < static_cast<size_t>(capacity))
        buffer[copied] = L'\0';
}

void CIniFile::Queue(const VariableRecord& record, LONG formatSelector)
{
    Data write{U16FromWide(record.sectionName), U16FromWide(record.keyName), TextOfValue(record, formatSelector)};
    if (HoldsLineBreak(write.section))
        throw RefusedText(RefusedPart::SectionName, HostText(record.sectionName), u"a line break");
    if (HoldsLineBreak(write.key))
        throw RefusedText(RefusedPart::KeyName, HostText(record.keyName), u"a line break");
    if (HoldsLineBreak(write.value))
        throw RefusedText(RefusedPart::Value, HostText(record.keyName), u"a line break");
    pendingWrites.push_back(std::move(write));
    if (!UsesInMemoryPath()) {
        // Like the profile read, the write reports nothing worth acting on:
        // the commit rewrites the file from the pending writes anyway.
        const Data& queued = pendingWrites.back();
        WritePrivateProfileStringW(AsWide(queued.section), AsWide(queued.key), AsWide(queued.value), AsWide(path));
    }
}

HRESULT CIniFile::WriteVariables(LONG_PTR, LONG firstOnly, LONG_PTR, LONG count, VariableRecord* records,
                                 LONG formatSelector)
{
    ModuleStateScope moduleState;
    return ReportingBoundary(IID_IZephFileNavigator, FileStep::Write, path, [&]() -> HRESULT {
        if (count <= 0)
            return S_OK;
        if (records == nullptr)
            return E_POINTER;
        // A record whose write fails keeps `found` 0; records before it keep
        // what they did.
        if (firstOnly == 0) {
            for (LONG index = 0; index < count; ++index) {
                records[index].found = 0;
                Queue(records[index], formatSelector);
                records[index].found = 1;
            }
            return S_OK;
        }
        // Alternatives: the first pair whose key holds a value is written and
        // committed at once; when none does, the first pair is written.
        std::array<wchar_t, kValueBufferUnits> buffer;
        for (LONG index = 0; index < count; ++index) {
            VariableRecord& record = records[index];
            ReadRawValue(NameOrEmpty(record.sectionName), NameOrEmpty(record.keyName), L"", buffer.data(),
                         kValueBufferUnits - 1);
            record.found = 0;
            if (buffer[0] != L'\0') {
                Queue(record, formatSelector);
                record.found = 1;
                return CommitPendingWrites();
            }
        }
        Queue(records[0], formatSelector);
        records[0].found = 1;
        return S_OK;
    });
}

HRESULT CIniFile::Commit()
{
    return ReportingBoundary(IID_IZephFileNavigator, FileStep::Save, path, [&] { return CommitPendingWrites(); });
}

HRESULT CIniFile::CommitPendingWrites()
{
    if (pendingWrites.empty())
        return S_OK;
    // The profile functions may hold the file in a cache of their own.
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, AsWide(path));
    if (!document.Load(path))
        throw FileStepError(FileStep::Read, document.lastError());
    for (const Data& write : pendingWrites)
        document.SetValue(write.section, write.key, write.value);
    // The writes are dropped only once they are in the file: after a failed
    // save the next commit reloads the file and applies them again.
    if (!document.Save(path))
        throw FileStepError(FileStep::Save, document.lastError());
    pendingWrites.clear();
    return S_OK;
}

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
