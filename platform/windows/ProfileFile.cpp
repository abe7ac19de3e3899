#include "platform/windows/ProfileFile.h"

#include <windows.h>

#include <atomic>

#include "platform/windows/UniqueHandle.h"
#include "platform/windows/WideText.h"

namespace platform {
namespace {

std::atomic<bool> lockingLikeWindows{false};

// What Windows' private-profile functions do around each call, and Wine's
// do not: lock the whole file through a handle of their own, shared to read
// and exclusively to write, and wait for as long as a conflicting lock is
// held. Only tests turn it on, so that a lock the plug-in holds on the file
// itself shows as the hang it would be on Windows.
class LockLikeWindows {
public:
    LockLikeWindows(const std::u16string& path, bool exclusive) noexcept
    {
        if (!lockingLikeWindows.load())
            return;
        // A file that does not exist yet has nothing to lock; the writer
        // then creates it.
        file_.reset(CreateFileW(AsWide(path), exclusive ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        OVERLAPPED whole = {};
        if (file_ && !LockFileEx(file_.get(), exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0, 0, MAXDWORD, MAXDWORD, &whole))
            file_.reset();
    }
    ~LockLikeWindows()
    {
        OVERLAPPED whole = {};
        if (file_)
            UnlockFileEx(file_.get(), 0, MAXDWORD, MAXDWORD, &whole);
    }
    LockLikeWindows(const LockLikeWindows&) = delete;
    LockLikeWindows& operator=(const LockLikeWindows&) = delete;

private:
    UniqueFileHandle file_;
};

}  // namespace

uint32_t ProfileFile::ReadValue(const wchar_t* section, const wchar_t* key, const wchar_t* defaultText,
                                wchar_t* buffer, uint32_t capacity) const noexcept
{
    const LockLikeWindows lock(path_, false);
    return GetPrivateProfileStringW(section, key, defaultText, buffer, capacity, AsWide(path_));
}

bool ProfileFile::WriteValue(const std::u16string& section, const std::u16string& key,
                             const std::u16string& value) const noexcept
{
    const LockLikeWindows lock(path_, true);
    return WritePrivateProfileStringW(AsWide(section), AsWide(key), AsWide(value), AsWide(path_)) != FALSE;
}

bool ProfileFile::Flush() const noexcept
{
    const LockLikeWindows lock(path_, true);
    return WritePrivateProfileStringW(nullptr, nullptr, nullptr, AsWide(path_)) != FALSE;
}

void LockProfileFilesLikeWindowsForTesting(bool on) noexcept { lockingLikeWindows.store(on); }

}  // namespace platform
