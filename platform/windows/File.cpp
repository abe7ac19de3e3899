#include <windows.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <utility>

#include "platform/File.h"
#include "platform/Random.h"
#include "platform/TemporaryName.h"
#include "platform/windows/OpenFlags.h"
#include "platform/windows/ReplacementFault.h"
#include "platform/windows/UniqueHandle.h"
#include "platform/windows/WaitBounds.h"
#include "platform/windows/WideText.h"

namespace platform {
namespace {

// What ends the folder part of a path; "C:name" names a file in the current
// folder of drive C.
constexpr std::u16string_view kSeparators = u"\\/:";

// A path that the system reaches whatever its length: the "\\?\" form of
// an absolute path of MAX_PATH units or more. A temporary file's name is
// longer than most file names, so it can need this where its target does not.
std::u16string LongForm(std::u16string path)
{
    if (path.size() < MAX_PATH || path.rfind(u"\\\\?\\", 0) == 0)
        return path;
    if (path.size() > 2 && path[1] == u':' && path[2] == u'\\')
        return u"\\\\?\\" + path;
    if (path.rfind(u"\\\\", 0) == 0)
        return u"\\\\?\\UNC" + path.substr(1);
    return path;
}

// Reads at most this much per call: ReadFile and WriteFile count in DWORDs.
constexpr size_t kLargestTransfer = 1u << 30;

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// The reason the system gave for the call that just failed; a call that
// failed without giving one still stands for a failure.
SystemError LastError() noexcept
{
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
}

enum class Target { Missing, Present, Refused };

// What stands at the target's path: nothing, a file that may be replaced,
// or something that refuses to be replaced, with the reason in `refusal`: a
// read-only file, a folder, or a target that cannot be looked at. Only "file
// not found" and "path not found" mean nothing is there; any other failure to
// read the attributes (access denied, a name the system refuses, a drive that
// is not ready) might hide a read-only file, whose check, attributes and
// security a replacement would then pass over.
Target LookAt(const std::u16string& target, SystemError& refusal)
{
    const DWORD attributes = GetFileAttributesW(AsWide(target));
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        refusal = LastError();
        return refusal == ERROR_FILE_NOT_FOUND || refusal == ERROR_PATH_NOT_FOUND ? Target::Missing : Target::Refused;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        refusal = kFolderInTheWay;
        return Target::Refused;
    }
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        refusal = ERROR_FILE_READ_ONLY;
        return Target::Refused;
    }
    return Target::Present;
}

// Whether the file may be deleted now, that is whether no one holds it open
// without sharing deletion. Asked before ReplaceFileW because Wine's
// ReplaceFileW, failing on such a file, leaves a temporary file of its own
// behind.
bool MayBeDeleted(const std::u16string& path)
{
    return UniqueFileHandle(CreateFileW(AsWide(path), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | kNoImpersonation, nullptr))
        .valid();
}

// Another program's momentary use of the file: a range it locked (Windows'
// private-profile functions lock the whole file around every call), or a
// handle without shared deletion that a replacement has to wait out.
bool IsPassingConflict(DWORD error) noexcept
{
    return error == ERROR_LOCK_VIOLATION || error == ERROR_SHARING_VIOLATION || error == ERROR_UNABLE_TO_REMOVE_REPLACED;
}

// Waits for another program's momentary use of a file to pass, without
// dispatching messages: the caller is in the middle of a load or a save,
// which host code run by a message must not meet half done. False once the
// bound has passed.
bool WaitOutConflict(const Deadline& deadline, DWORD& pause) noexcept
{
    const DWORD remaining = deadline.Remaining();
    if (remaining == 0)
        return false;
    Sleep(std::min(pause, remaining));
    pause = std::min<DWORD>(pause * 2, 64);
    return true;
}

std::atomic<ReplacementFault> replacementFault{ReplacementFault::None};

// Moves the new version `replacement` to the path of `target`, where no
// file is; false with the system's last error set, as for the two below.
bool MoveInPlace(const std::u16string& replacement, const std::u16string& target) noexcept
{
    if (replacementFault.load() == ReplacementFault::MoveFails) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return MoveFileExW(AsWide(replacement), AsWide(target), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

// ReplaceFileW, or the fault a test asked for.
bool ReplaceTarget(const std::u16string& replacement, const std::u16string& target) noexcept
{
    switch (replacementFault.load()) {
    case ReplacementFault::None:
    case ReplacementFault::DiskFull:
        break;
    case ReplacementFault::StopBetweenSteps:
        // As a process killed inside ReplaceFileW after its first step.
        DeleteFileW(AsWide(target));
        TerminateProcess(GetCurrentProcess(), kStoppedBetweenSteps);
        break;
    case ReplacementFault::MoveFails:
        DeleteFileW(AsWide(target));
        SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT);
        return false;
    }
    return ReplaceFileW(AsWide(target), AsWide(replacement), nullptr, 0, nullptr, nullptr) != FALSE;
}

// Puts `replacement` in the place of the existing `target`.
bool ReplacePresent(const std::u16string& replacement, const std::u16string& target) noexcept
{
    // Another program's momentary use of the target (a private-profile call
    // of another process) is waited out within the bound.
    const Deadline deadline(WaitKind::Commit);
    DWORD pause = 1;
    for (;;) {
        // Keeps the target's attributes, security and streams.
        if (MayBeDeleted(target) && ReplaceTarget(replacement, target))
            return true;
        const DWORD error = GetLastError();
        // The target is gone already while the new version still waits
        // under its temporary name: put it in place rather than leave no
        // file at all.
        if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT)
            return MoveInPlace(replacement, target);
        if (!IsPassingConflict(error) || !WaitOutConflict(deadline, pause)) {
            SetLastError(error == ERROR_UNABLE_TO_REMOVE_REPLACED ? ERROR_SHARING_VIOLATION : error);
            return false;
        }
    }
}

}  // namespace

void SetReplacementFaultForTesting(ReplacementFault fault) noexcept { replacementFault.store(fault); }

void NativeFileTraits::close(std::intptr_t file) noexcept { CloseHandle(AsHandle(file)); }

FileReader::FileReader(const std::u16string& path)
{
    // Others may go on reading, writing and even deleting the file meanwhile,
    // as with the runtime's stream functions.
    const HANDLE opened = CreateFileW(AsWide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN | kNoImpersonation, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        error_ = LastError();
        return;
    }
    file_.reset(reinterpret_cast<std::intptr_t>(opened));
    LARGE_INTEGER size;
    if (!GetFileSizeEx(opened, &size))
        error_ = LastError();
    else if (static_cast<unsigned long long>(size.QuadPart) >= SIZE_MAX / 2)
        error_ = ERROR_FILE_TOO_LARGE;
    if (error_ != 0) {
        file_.reset();
        return;
    }
    size_ = static_cast<size_t>(size.QuadPart);
}

bool FileReader::Read(char* buffer, size_t capacity, size_t& got)
{
    // A range another program locked is waited out, never taken for the end
    // of the file.
    std::optional<Deadline> deadline;
    DWORD pause = 1;
    for (;;) {
        DWORD read = 0;
        const BOOL done = ReadFile(AsHandle(file_.get()), buffer, static_cast<DWORD>(std::min(capacity, kLargestTransfer)),
                                   &read, nullptr);
        got = done ? read : 0;
        if (done)
            return true;
        error_ = LastError();
        if (error_ != ERROR_LOCK_VIOLATION)
            return false;
        if (!deadline)
            deadline.emplace(WaitKind::Commit);
        if (!WaitOutConflict(*deadline, pause))
            return false;
    }
}

FileReplacement::FileReplacement(std::u16string target) : target_(std::move(target)) { Open(); }

FileReplacement::~FileReplacement() { Discard(); }

void FileReplacement::Open()
{
    // A target that refuses to be replaced is found here, before anything is
    // written, rather than left to whichever call ends up replacing the file.
    SystemError refusal = 0;
    if (LookAt(target_, refusal) == Target::Refused) {
        Fail(refusal);
        return;
    }
    unsigned char random[kTemporaryNameRandomBytes];
    if (!RandomBytes(random, sizeof random)) {
        Fail(ERROR_GEN_FAILURE);
        return;
    }
    temporary_ = LongForm(TemporaryNameBeside(target_, kSeparators, random));
    const HANDLE created = CreateFileW(AsWide(temporary_), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL | kNoImpersonation, nullptr);
    if (created == INVALID_HANDLE_VALUE) {
        Fail(LastError());
        temporary_.clear();  // not ours: nothing to remove
        return;
    }
    file_.reset(reinterpret_cast<std::intptr_t>(created));
}

bool FileReplacement::Write(std::string_view bytes)
{
    if (replacementFault.load() == ReplacementFault::DiskFull && !bytes.empty())
        Fail(ERROR_DISK_FULL);
    while (!failed_ && !bytes.empty()) {
        DWORD written = 0;
        const auto wanted = static_cast<DWORD>(std::min(bytes.size(), kLargestTransfer));
        if (!WriteFile(AsHandle(file_.get()), bytes.data(), wanted, &written, nullptr))
            Fail(LastError());
        else if (written == 0)
            Fail(ERROR_WRITE_FAULT);
        bytes.remove_prefix(written);
    }
    return !failed_;
}

bool FileReplacement::CloseForEditing()
{
    if (!failed_ && !Close())
        Fail(LastError());
    return !failed_;
}

bool FileReplacement::FlushAndClose() noexcept
{
    if (file_)
        return FlushFileBuffers(AsHandle(file_.get())) && Close();
    const UniqueFileHandle edited(CreateFileW(AsWide(temporary_), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | kNoImpersonation, nullptr));
    return edited && FlushFileBuffers(edited.get());
}

bool FileReplacement::Commit()
{
    if (!failed_ && !FlushAndClose())
        Fail(LastError());
    SystemError refusal = 0;
    const Target target = failed_ ? Target::Refused : LookAt(target_, refusal);
    if (target == Target::Refused) {
        Fail(refusal);
        Discard();
        return false;
    }
    const bool replaced =
        target == Target::Present ? ReplacePresent(temporary_, target_) : MoveInPlace(temporary_, target_);
    if (!replaced) {
        Fail(LastError());
        // The new version stays where the target is gone: it is the only
        // copy of the content left, which the next navigator puts in place.
        if (IsMissing(target_))
            temporary_.clear();
        Discard();
        return false;
    }
    temporary_.clear();
    return true;
}

bool FileReplacement::Close() noexcept
{
    // Closed here rather than by the owner, whose close reports nothing: a
    // failed close can mean that written data never reached the disk.
    if (!file_)
        return true;
    return CloseHandle(AsHandle(file_.release())) != FALSE;
}

std::vector<FileEntry> ReplacementsBeside(const std::u16string& target)
{
    std::vector<FileEntry> names;
    const std::u16string folder = target.substr(0, temporary_name::FolderLength(target, kSeparators));
    WIN32_FIND_DATAW entry;
    const UniqueFindHandle search(
        FindFirstFileW(AsWide(LongForm(folder + temporary_name::Lead(target, kSeparators) + u"*.tmp")), &entry));
    if (!search)
        return names;
    do {
        // The pattern also matches short names; only the long name counts.
        if (IsTemporaryNameOf(AsU16(entry.cFileName), target, kSeparators))
            names.push_back({LongForm(folder + AsU16(entry.cFileName)),
                             static_cast<int64_t>(uint64_t{entry.ftLastWriteTime.dwHighDateTime} << 32 |
                                                  entry.ftLastWriteTime.dwLowDateTime)});
    } while (FindNextFileW(search.get(), &entry));
    return names;
}

void RemoveFile(const std::u16string& path) noexcept { DeleteFileW(AsWide(path)); }

bool IsMissing(const std::u16string& path) noexcept
{
    SystemError refusal = 0;
    return LookAt(path, refusal) == Target::Missing;
}

bool CreateEmptyFile(const std::u16string& path) noexcept
{
    return UniqueFileHandle(CreateFileW(AsWide(path), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL | kNoImpersonation, nullptr))
        .valid();
}

bool MoveToMissing(const std::u16string& from, const std::u16string& to) noexcept
{
    return MoveFileExW(AsWide(from), AsWide(to), MOVEFILE_WRITE_THROUGH) != FALSE;
}

void FileReplacement::Fail(SystemError reason) noexcept
{
    if (!failed_)
        error_ = reason;
    failed_ = true;
}

void FileReplacement::Discard() noexcept
{
    Close();
    if (!temporary_.empty()) {
        DeleteFileW(AsWide(temporary_));
        temporary_.clear();
    }
}

}  // namespace platform
