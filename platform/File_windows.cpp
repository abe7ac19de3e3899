#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <utility>

#include "platform/File.h"
#include "platform/TemporaryName.h"
#include "platform/WideText.h"

namespace platform {
namespace {

// RAII owner of a file handle.
class UniqueFileHandle {
public:
    explicit UniqueFileHandle(HANDLE owned) noexcept : value_(owned) {}
    UniqueFileHandle(const UniqueFileHandle&) = delete;
    UniqueFileHandle& operator=(const UniqueFileHandle&) = delete;
    ~UniqueFileHandle()
    {
        if (valid())
            CloseHandle(value_);
    }

    HANDLE get() const noexcept { return value_; }
    bool valid() const noexcept { return value_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE value_;
};

// Reads at most this much per call: ReadFile and WriteFile count in DWORDs.
constexpr size_t kLargestTransfer = 1u << 30;

bool RandomBytes(void* buffer, size_t count)
{
    return BCRYPT_SUCCESS(BCryptGenRandom(nullptr, static_cast<PUCHAR>(buffer), static_cast<ULONG>(count),
                                          BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

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
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr))
        .valid();
}

}  // namespace

bool ReadWholeFile(const std::u16string& path, FileContent& content, SystemError& error)
{
    // Others may go on reading, writing and even deleting the file meanwhile,
    // as with the runtime's stream functions.
    const UniqueFileHandle file(CreateFileW(AsWide(path), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size;
    if (!file.valid() || !GetFileSizeEx(file.get(), &size)) {
        error = LastError();
        return false;
    }
    if (static_cast<unsigned long long>(size.QuadPart) >= SIZE_MAX / 2) {
        error = ERROR_FILE_TOO_LARGE;
        return false;
    }
    // One byte more than the file holds, so that the first read already
    // meets the end of a file that did not grow.
    size_t capacity = static_cast<size_t>(size.QuadPart) + 1;
    size_t filled = 0;
    char* data = content.Resize(capacity);
    for (;;) {
        if (filled == capacity) {
            capacity *= 2;
            data = content.Resize(capacity);
        }
        DWORD read = 0;
        const auto wanted = static_cast<DWORD>(std::min(capacity - filled, kLargestTransfer));
        if (!ReadFile(file.get(), data + filled, wanted, &read, nullptr)) {
            error = LastError();
            return false;
        }
        if (read == 0)
            break;
        filled += read;
    }
    content.Resize(filled);
    return true;
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
    // "C:name" names a file in the current folder of drive C.
    temporary_ = TemporaryNameBeside(target_, u"\\/:", random);
    const HANDLE created = CreateFileW(AsWide(temporary_), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created == INVALID_HANDLE_VALUE) {
        Fail(LastError());
        temporary_.clear();  // not ours: nothing to remove
        return;
    }
    handle_ = reinterpret_cast<std::intptr_t>(created);
}

bool FileReplacement::Write(std::string_view bytes)
{
    while (!failed_ && !bytes.empty()) {
        DWORD written = 0;
        const auto wanted = static_cast<DWORD>(std::min(bytes.size(), kLargestTransfer));
        if (!WriteFile(AsHandle(handle_), bytes.data(), wanted, &written, nullptr))
            Fail(LastError());
        else if (written == 0)
            Fail(ERROR_WRITE_FAULT);
        bytes.remove_prefix(written);
    }
    return !failed_;
}

bool FileReplacement::Commit()
{
    if (!failed_ && !(FlushFileBuffers(AsHandle(handle_)) && Close()))
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
    if (handle_ == -1)
        return true;
    return CloseHandle(AsHandle(std::exchange(handle_, -1))) != FALSE;
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
