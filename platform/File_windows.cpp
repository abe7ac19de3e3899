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

FileReader::FileReader(const std::u16string& path)
{
    // Others may go on reading, writing and even deleting the file meanwhile,
    // as with the runtime's stream functions.
    const HANDLE opened = CreateFileW(AsWide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (opened == INVALID_HANDLE_VALUE)
        return;
    handle_ = reinterpret_cast<std::intptr_t>(opened);
    LARGE_INTEGER size;
    if (!GetFileSizeEx(opened, &size) || static_cast<unsigned long long>(size.QuadPart) >= SIZE_MAX / 2) {
        CloseHandle(opened);
        handle_ = -1;
        return;
    }
    size_ = static_cast<size_t>(size.QuadPart);
}

FileReader::~FileReader()
{
    if (opened())
        CloseHandle(AsHandle(handle_));
}

bool FileReader::Read(char* buffer, size_t capacity, size_t& got)
{
    DWORD read = 0;
    const BOOL done =
        ReadFile(AsHandle(handle_), buffer, static_cast<DWORD>(std::min(capacity, kLargestTransfer)), &read, nullptr);
    got = done ? read : 0;
    return done != FALSE;
}

FileReplacement::FileReplacement(std::u16string target) : target_(std::move(target)) { Open(); }

FileReplacement::~FileReplacement() { Discard(); }

void FileReplacement::Open()
{
    // A read-only target refuses to be replaced. The attribute is checked
    // here, before anything is written, rather than left to whichever call
    // ends up replacing the file.
    const DWORD attributes = GetFileAttributesW(AsWide(target_));
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        failed_ = true;
        return;
    }
    unsigned char random[kTemporaryNameRandomBytes];
    if (!RandomBytes(random, sizeof random)) {
        failed_ = true;
        return;
    }
    // "C:name" names a file in the current folder of drive C.
    temporary_ = TemporaryNameBeside(target_, u"\\/:", random);
    const HANDLE created = CreateFileW(AsWide(temporary_), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created == INVALID_HANDLE_VALUE) {
        temporary_.clear();  // not ours: nothing to remove
        failed_ = true;
        return;
    }
    handle_ = reinterpret_cast<std::intptr_t>(created);
}

bool FileReplacement::Write(std::string_view bytes)
{
    while (!failed_ && !bytes.empty()) {
        DWORD written = 0;
        const auto wanted = static_cast<DWORD>(std::min(bytes.size(), kLargestTransfer));
        if (!WriteFile(AsHandle(handle_), bytes.data(), wanted, &written, nullptr) || written == 0)
            failed_ = true;
        bytes.remove_prefix(written);
    }
    return !failed_;
}

bool FileReplacement::Commit()
{
    if (failed_ || !FlushFileBuffers(AsHandle(handle_)) || !Close()) {
        Discard();
        return false;
    }
    bool replaced;
    if (GetFileAttributesW(AsWide(target_)) != INVALID_FILE_ATTRIBUTES) {
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

void FileReplacement::Discard() noexcept
{
    Close();
    if (!temporary_.empty()) {
        DeleteFileW(AsWide(temporary_));
        temporary_.clear();
    }
}

}  // namespace platform
