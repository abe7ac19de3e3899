#include <windows.h>

#include <algorithm>
#include <utility>

#include "platform/File.h"
#include "platform/Random.h"
#include "platform/TemporaryName.h"
#include "platform/windows/OpenFlags.h"
#include "platform/windows/UniqueHandle.h"
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

}  // namespace

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
    DWORD read = 0;
    const BOOL done =
        ReadFile(AsHandle(file_.get()), buffer, static_cast<DWORD>(std::min(capacity, kLargestTransfer)), &read, nullptr);
    got = done ? read : 0;
    if (!done)
        error_ = LastError();
    return done != FALSE;
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

bool FileReplacement::Commit()
{
    if (!failed_ && !(FlushFileBuffers(AsHandle(file_.get())) && Close()))
        Fail(LastError());
    SystemError refusal = 0;
    const Target target = failed_ ? Target::Refused : LookAt(target_, refusal);
    if (target == Target::Refused) {
        Fail(refusal);
        Discard();
        return false;
    }
    bool replaced;
    if (target == Target::Present) {
        // Keeps the target's attributes, security and streams.
        replaced = MayBeDeleted(target_) &&
                   ReplaceFileW(AsWide(target_), AsWide(temporary_), nullptr, 0, nullptr, nullptr);
        // This error means the target is gone already while the new
        // version still waits under its temporary name: put it in place
        // rather than leave no file at all.
        if (!replaced && GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT)
            replaced = MoveFileExW(AsWide(temporary_), AsWide(target_),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    } else {
        replaced = MoveFileExW(AsWide(temporary_), AsWide(target_), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    }
    if (!replaced) {
        Fail(LastError());
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

std::vector<std::u16string> ReplacementsBeside(const std::u16string& target)
{
    std::vector<std::u16string> names;
    const std::u16string folder = target.substr(0, temporary_name::FolderLength(target, kSeparators));
    WIN32_FIND_DATAW entry;
    const UniqueFindHandle search(
        FindFirstFileW(AsWide(LongForm(folder + temporary_name::Lead(target, kSeparators) + u"*.tmp")), &entry));
    if (!search)
        return names;
    do {
        // The pattern also matches short names; only the long name counts.
        if (IsTemporaryNameOf(AsU16(entry.cFileName), target, kSeparators))
            names.push_back(LongForm(folder + AsU16(entry.cFileName)));
    } while (FindNextFileW(search.get(), &entry));
    return names;
}

void RemoveFile(const std::u16string& path) noexcept { DeleteFileW(AsWide(path)); }

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
