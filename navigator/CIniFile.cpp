#include "navigator/CIniFile.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

#include <wrl/client.h>

#include "com/Bstr.h"
#include "com/ComError.h"
#include "com/ModuleState.h"
#include "convert/windows/TextToValue.h"
#include "convert/windows/ValueToText.h"
#include "document/ByteOrderMark.h"
#include "document/IniNames.h"
#include "navigator/ErrorInfo.h"
#include "navigator/IniAccessMode.h"
#include "platform/File.h"
#include "platform/OleDate.h"
#include "platform/windows/DiskPath.h"
#include "platform/windows/Paths.h"
#include "platform/windows/ProfileFile.h"
#include "platform/windows/WideText.h"

using platform::FileLock;
using platform::FileLockMode;
using platform::WaitKind;

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

// A line break in a value would add lines, and with them sections and keys,
// to the file.
bool HoldsLineBreak(std::u16string_view text)
{
    return text.find_first_of(u"\r\n") != std::u16string_view::npos;
}

// A name as the host passed it: every unit of the BSTR, a NUL inside
// included, so that the rules can refuse what a C string would cut.
std::u16string_view HostName(BSTR name) noexcept { return BstrUnits(name); }

// The date a value carries, directly or by reference; none for other values.
std::optional<double> DateOf(const VARIANT& value) noexcept
{
    if (V_VT(&value) == VT_DATE)
        return V_DATE(&value);
    if (V_VT(&value) == (VT_DATE | VT_BYREF) && V_DATEREF(&value) != nullptr)
        return *V_DATEREF(&value);
    return std::nullopt;
}

// True for a date (not a NaN) that the platform cannot split into a
// calendar date: its day lies outside the years 100 to 9999.
bool OutsideCalendar(double date) noexcept
{
    CalendarFields fields;
    return !std::isnan(date) && !SplitOleDate(date, fields);
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
        const std::optional<double> date = DateOf(record.value);
        if (date && OutsideCalendar(*date))
            throw DateOutsideCalendar(error.code(), HostName(record.keyName), *date);
        throw UnwritableValue(error.code(), HostName(record.keyName));
    }
}

// Why a name cannot be stored, in words that follow "cannot be stored: ".
const char16_t* FaultText(document::NameFault fault) noexcept
{
    switch (fault) {
    case document::NameFault::Empty:
        return u"it is empty";
    case document::NameFault::LineBreak:
        return u"it contains a line break";
    case document::NameFault::Nul:
        return u"it contains a NUL character";
    case document::NameFault::BlankAtEnd:
        return u"it starts or ends with white space or a control character";
    case document::NameFault::EqualsSign:
        return u"it contains \"=\"";
    case document::NameFault::OpensHeader:
        return u"it starts with \"[\"";
    case document::NameFault::OpensComment:
        return u"it starts with \";\"";
    case document::NameFault::ClosingBracket:
        return u"it contains \"]\"";
    case document::NameFault::NotInCodePage:
        return u"the file's ANSI code page lacks one of its characters";
    case document::NameFault::None:
        break;
    }
    return u"it is not allowed";
}

// Why a path is refused, in words that follow "Cannot open PATH: ".
const char16_t* PathRefusalText(platform::PathRefusal refusal) noexcept
{
    switch (refusal) {
    case platform::PathRefusal::Empty:
        return u"the path is empty";
    case platform::PathRefusal::DevicePath:
        return u"the path is a device path, not the path of a file";
    case platform::PathRefusal::PipeOrMailslot:
        return u"the path names a pipe or a mailslot, not a file";
    case platform::PathRefusal::DeviceName:
        return u"the name is reserved for a device";
    case platform::PathRefusal::Stream:
        return u"the path names a stream of a file, not a file";
    case platform::PathRefusal::NotOnDisk:
        return u"the path leads to a device, not to a file on a disk";
    case platform::PathRefusal::None:
        break;
    }
    return u"the path names no file";
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

// One operation under way. Waits for the lock dispatch messages, and host
// code they run may call the navigator again, or release it: the navigator
// lives until the operation returns.
class CIniFile::OperationScope {
public:
    explicit OperationScope(CIniFile* navigator) : navigator_(navigator) { ++navigator->operationsUnderWay; }
    ~OperationScope() { --navigator_->operationsUnderWay; }
    OperationScope(const OperationScope&) = delete;
    OperationScope& operator=(const OperationScope&) = delete;

    // Whether another operation of the navigator is waiting under this one.
    bool nested() const noexcept { return navigator_->operationsUnderWay > 1; }

private:
    Microsoft::WRL::ComPtr<CIniFile> navigator_;
};

HRESULT CIniFile::Init(LPCWSTR filePath, LONG_PTR)
{
    ModuleStateScope moduleState;
    const OperationScope operation(this);
    return ReportingBoundary(IID_IZephFileNavigatorInit, FileStep::Open, HostText(filePath), [&] {
        // An operation waiting under this one holds the file's lock, or
        // waits for it: the navigator is not bound to another file meanwhile.
        if (operation.nested())
            return HRESULT_FROM_WIN32(ERROR_BUSY);
        const IniAccessMode mode = DecideAccessMode();
        // Absolute, so that the profile functions (which look for a bare name
        // in the Windows folder) and the document (which opens it relative to
        // the current folder) reach the same file.
        path = platform::AbsolutePath(U16FromWide(filePath));
        // A navigator refused its path is bound to no file: it reads nothing
        // and writes nowhere, not even what an earlier Init loaded.
        const auto unbind = [&] {
            path.clear();
            document.Clear();
            lockSite.Bind(path);
        };
        // The private-profile functions reach no longer path: a read would
        // find nothing and a write would go to another file.
        if (path.size() >= MAX_PATH) {
            unbind();
            return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
        }
        // Checked before anything opens the path, the lock and the profile
        // functions included, so that no pipe or device is ever opened
        // through it.
        const platform::PathRefusal refusal = platform::DiskFileRefusal(HostText(filePath), path);
        if (refusal != platform::PathRefusal::None) {
            unbind();
            throw RefusedPath(PathRefusalText(refusal));
        }
        if (platform::IsLockFileName(path)) {
            unbind();
            throw RefusedPath(u"the name is that of the plug-in's lock file");
        }
        lockSite.Bind(path);
        RestoreAbandonedSave();
        if (mode == IniAccessMode::InMemory) {
            const FileLock lock = lockSite.Acquire(FileLockMode::Shared, WaitKind::Read);
            if (!document.LoadIfUnicode(path))
                throw FileStepError(FileStep::Read, document.lastError());
        }
        return S_OK;
    });
}

HRESULT CIniFile::ReadVariables(LONG_PTR, LONG firstOnly, LONG_PTR, LONG count, VariableRecord* records)
{
    ModuleStateScope moduleState;
    const OperationScope operation(this);
    return ReportingBoundary(IID_IZephFileNavigator, FileStep::Read, path, [&]() -> HRESULT {
        if (records == nullptr)
            return E_POINTER;
        bool missed = false;
        // Every version of the file that a navigator puts in place is whole,
        // and the system's profile functions lock the file while they write
        // it, so a value read without the lock is one the file held. A key
        // that is not found may only have been between two versions of the
        // file: those are read again under the lock. The alternatives form
        // stops at the first key found, so it reads under the lock at once.
        if (firstOnly == 0 || UsesInMemoryPath()) {
            const HRESULT result = ReadRecords(firstOnly, count, records, false, missed);
            if (FAILED(result) || !missed || UsesInMemoryPath())
                return result;
            RestoreAbandonedSave();
        }
        const std::optional<FileLock> lock = LockForProfileReads();
        return ReadRecords(firstOnly, count, records, firstOnly == 0, missed);
    });
}

HRESULT CIniFile::ReadRecords(LONG firstOnly, LONG count, VariableRecord* records, bool missedOnly,
                              bool& missed) const
{
    missed = false;
    std::array<wchar_t, kValueBufferUnits> buffer;
    for (LONG index = 0; index < count; ++index) {
        VariableRecord& record = records[index];
        if (missedOnly && record.found != 0)
            continue;
        FetchValueText(NameOrEmpty(record.sectionName), NameOrEmpty(record.keyName), buffer.data());
        buffer[kValueBufferUnits - 1] = L'\0';
        if (buffer[0] == L'\0') {
            record.found = 0;
            missed = true;
            continue;
        }
        record.found = 1;
        if (!TextToValue(record.value, buffer.data()))
            return E_OUTOFMEMORY;
        if (firstOnly != 0)
            return S_OK;
    }
    return S_OK;
}

bool CIniFile::UsesInMemoryPath() const noexcept
{
    return CurrentAccessMode() != IniAccessMode::ProfileApi && document.unicode();
}

std::optional<FileLock> CIniFile::LockForProfileReads()
{
    if (UsesInMemoryPath())
        return std::nullopt;  // the document is read, not the file
    // Past the bound, or when the lock fails, a read reads anyway.
    return lockSite.Acquire(FileLockMode::Shared, WaitKind::Read);
}

void CIniFile::RestoreAbandonedSave()
{
    if (path.empty() || !platform::IsMissing(path) || !platform::ReplacementUnderway(path))
        return;
    // Only the holder of the exclusive lock knows that no save is under way.
    // A read or a write goes on after the bound as it would anyway, and a
    // commit settles what is left under its own lock.
    const FileLock lock = lockSite.Acquire(FileLockMode::Exclusive, WaitKind::Read);
    if (lock.held())
        platform::SettleAbandonedReplacements(path);
}

void CIniFile::FetchValueText(const wchar_t* section, const wchar_t* key, wchar_t* buffer) const
{
    if (UsesInMemoryPath())
        CopyDocumentText(section, key, L"", buffer, kValueBufferUnits);
    else if (path.empty())
        buffer[0] = L'\0';  // no file: the profile functions would read another one
    else
        platform::ProfileFile(path).ReadValue(section, key, L"", buffer, kValueBufferUnits - 1);
}

void CIniFile::ReadRawValue(const wchar_t* section, const wchar_t* key, const wchar_t* defaultText, wchar_t* buffer,
                            int capacity) const
{
    if (UsesInMemoryPath() || path.empty()) {
        CopyDocumentText(section, key, defaultText, buffer, capacity);
        buffer[capacity - 1] = L'\0';
    } else {
        platform::ProfileFile(path).ReadValue(section, key, defaultText, buffer, static_cast<uint32_t>(capacity));
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

bool CIniFile::WritesAnsiFile() const
{
    if (UsesInMemoryPath())
        return false;
    const document::ByteOrderMark mark = document::MarkOfFile(path);
    if (document::IsUnwritten(mark))
        throw FileStepError(FileStep::Write, platform::kUnwrittenEncoding);
    return mark != document::ByteOrderMark::Utf16Le;
}

CIniFile::Data CIniFile::MakeWrite(const VariableRecord& record, LONG formatSelector, bool ansiFile) const
{
    const std::u16string_view section = HostName(record.sectionName);
    const std::u16string_view key = HostName(record.keyName);
    const document::NameFault sectionFault =
        ansiFile ? document::SectionNameFaultInAnsiFile(section) : document::SectionNameFault(section);
    if (sectionFault != document::NameFault::None)
        throw RefusedText(RefusedPart::SectionName, section, FaultText(sectionFault));
    const document::NameFault keyFault = ansiFile ? document::KeyNameFaultInAnsiFile(key) : document::KeyNameFault(key);
    if (keyFault != document::NameFault::None)
        throw RefusedText(RefusedPart::KeyName, key, FaultText(keyFault));
    Data write{std::u16string(section), std::u16string(key), TextOfValue(record, formatSelector)};
    if (HoldsLineBreak(write.value))
        throw RefusedText(RefusedPart::Value, key, FaultText(document::NameFault::LineBreak));
    return write;
}

void CIniFile::WriteNow(size_t first)
{
    if (UsesInMemoryPath() || path.empty() || first >= pendingWrites.size())
        return;
    // The profile functions rewrite the whole file for every key, so
    // whatever stops them half way (a kill, a full disk) would leave a cut
    // file. They edit a copy instead, which then takes the file's place in
    // one step, as a commit's new version does: the file is the old or the
    // new one, and the bytes are what the profile functions make of it. A
    // missing file, which the profile writer would create, is created empty
    // first, so that a copy a stopped write leaves is never taken for the
    // only version of the file. Like the profile read, the write reports
    // nothing: whatever fails, the file stays as it was and the commit
    // writes the values.
    const bool created = platform::CreateEmptyFile(path);
    platform::FileReplacement copy(path);
    bool written = copy.WriteCopyOfTarget() && copy.CloseForEditing();
    const platform::ProfileFile profile(copy.path());
    for (size_t index = first; written && index < pendingWrites.size(); ++index)
        written = profile.WriteValue(pendingWrites[index].section, pendingWrites[index].key, pendingWrites[index].value);
    // What the profile functions still hold of the copy reaches it first;
    // the flush's answer tells nothing (Wine's is always a failure).
    if (written)
        profile.Flush();
    written = written && copy.Commit();
    if (!written && created)
        platform::RemoveFile(path);
}

std::optional<FileLock> CIniFile::LockForProfileWrites()
{
    if (UsesInMemoryPath())
        return std::nullopt;  // nothing reaches the file before the commit
    // A write that waits past its bound leaves the value to the commit.
    std::optional<FileLock> lock = lockSite.Acquire(FileLockMode::Exclusive, WaitKind::Read);
    // Where the file is missing beside a killed save's new version, the
    // profile writer would make a new file, and the commit's clean-up would
    // then remove the only copy of the old content.
    if (lock->held())
        platform::SettleAbandonedReplacements(path);
    return lock;
}

FileLock CIniFile::LockForCommit()
{
    FileLock lock = lockSite.Acquire(FileLockMode::Exclusive, WaitKind::Commit);
    // What saves that were killed left behind, only while no save can run.
    if (lock.held())
        platform::SettleAbandonedReplacements(path);
    return lock;
}

HRESULT CIniFile::WriteVariables(LONG_PTR, LONG firstOnly, LONG_PTR, LONG count, VariableRecord* records,
                                 LONG formatSelector)
{
    ModuleStateScope moduleState;
    const OperationScope operation(this);
    return ReportingBoundary(IID_IZephFileNavigator, FileStep::Write, path, [&]() -> HRESULT {
        if (count <= 0)
            return S_OK;
        if (records == nullptr)
            return E_POINTER;
        // A value's text is made before the file is locked: turning a value
        // into text can call back into the host, which must find no lock
        // held by its own thread. A record whose text cannot be made keeps
        // `found` 0 and ends the call; records before it keep their effects.
        const bool ansiFile = WritesAnsiFile();
        if (firstOnly == 0) {
            std::vector<Data> writes;
            std::exception_ptr failure;
            for (LONG index = 0; index < count && !failure; ++index) {
                records[index].found = 0;
                try {
                    writes.push_back(MakeWrite(records[index], formatSelector, ansiFile));
                } catch (...) {
                    failure = std::current_exception();
                }
            }
            const std::optional<FileLock> lock = writes.empty() ? std::nullopt : LockForProfileWrites();
            const size_t first = pendingWrites.size();
            for (size_t index = 0; index < writes.size(); ++index) {
                pendingWrites.push_back(std::move(writes[index]));
                records[index].found = 1;
            }
            // Without the lock the profile writer could put back what
            // another navigator's commit has just taken out: the values
            // then wait for the commit.
            if (lock && lock->mayProceed())
                WriteNow(first);
            if (failure)
                std::rethrow_exception(failure);
            return S_OK;
        }
        // Alternatives: the first pair whose key holds a value is written and
        // committed at once; when none does, the first pair is written.
        LONG existing = -1;
        RestoreAbandonedSave();
        {
            const std::optional<FileLock> lock = LockForProfileReads();
            std::array<wchar_t, kValueBufferUnits> buffer;
            for (LONG index = 0; index < count && existing < 0; ++index) {
                ReadRawValue(NameOrEmpty(records[index].sectionName), NameOrEmpty(records[index].keyName), L"",
                             buffer.data(), kValueBufferUnits - 1);
                records[index].found = 0;
                if (buffer[0] != L'\0')
                    existing = index;
            }
        }
        if (existing < 0) {
            Data write = MakeWrite(records[0], formatSelector, ansiFile);
            const std::optional<FileLock> lock = LockForProfileWrites();
            pendingWrites.push_back(std::move(write));
            records[0].found = 1;
            if (lock && lock->mayProceed())
                WriteNow(pendingWrites.size() - 1);
            return S_OK;
        }
        Data write = MakeWrite(records[existing], formatSelector, ansiFile);
        // One hold of the lock for the write and the commit that follows it.
        const FileLock lock = LockForCommit();
        pendingWrites.push_back(std::move(write));
        records[existing].found = 1;
        if (!lock.mayProceed())
            throw FileStepError(FileStep::Save, lock.error());
        WriteNow(pendingWrites.size() - 1);
        return CommitLocked();
    });
}

HRESULT CIniFile::Commit()
{
    const OperationScope operation(this);
    return ReportingBoundary(IID_IZephFileNavigator, FileStep::Save, path, [&] {
        if (pendingWrites.empty())
            return S_OK;
        const FileLock lock = LockForCommit();
        // Another holds the lock for too long: the writes stay pending for a
        // later commit.
        if (!lock.mayProceed())
            throw FileStepError(FileStep::Save, lock.error());
        return CommitLocked();
    });
}

HRESULT CIniFile::CommitLocked()
{
    if (pendingWrites.empty())
        return S_OK;
    // The profile functions may hold the file in a cache of their own.
    if (!path.empty())
        platform::ProfileFile(path).Flush();
    if (!document.Load(path)) {
        // A file that the document does not write back is refused unread.
        const platform::SystemError reason = document.lastError();
        throw FileStepError(reason == platform::kUnwrittenEncoding ? FileStep::Save : FileStep::Read, reason);
    }
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
