#include "platform/windows/FileLock.h"

#include <objbase.h>

#include <algorithm>
#include <utility>

#include "platform/Text.h"
#include "platform/windows/OpenFlags.h"
#include "platform/windows/WideText.h"

namespace platform {
namespace {

// Each INI file has four bytes in the lock file, at a multiple of four below
// 2^42: far below 2^63, from where servers that keep Windows' locks as POSIX
// ones refuse offsets. Two names that share bytes only share a lock.
//
// Whoever uses the file holds the use byte, readers shared and a writer
// exclusively. A writer first takes the gate byte exclusively and keeps it
// while it waits for the readers inside to leave and while it works; a reader
// passes the gate (shared, for a moment) on its way in, so readers that keep
// coming cannot keep a writer out. A reader that finds the gate closed holds
// the waiting byte shared until it is in; a writer lets such readers in
// before it takes the gate, so writers that keep coming cannot keep readers
// out either.
constexpr uint64_t kSlots = uint64_t{1} << 40;
constexpr unsigned kGate = 0, kUse = 1, kWaiting = 2;

// How long a writer that holds the gate waits for readers to leave before
// it lets go of the gate to dispatch messages (it must not while it holds
// the gate: a reader on its own thread would wait at that gate).
constexpr DWORD kDrainSlice = 50;

// While another holds the range, the lock is tried again after a pause that
// starts at 1 ms and doubles up to this.
constexpr DWORD kLongestPause = 16;

enum class WaitOutcome { Signaled, Abandoned, TimedOut, Failed };

// Waits for the handle, dispatching the messages of a single-threaded
// apartment meanwhile so that the host's windows stay alive.
WaitOutcome WaitDispatching(HANDLE handle, DWORD milliseconds) noexcept
{
    DWORD index = 0;
    const HRESULT hr = CoWaitForMultipleHandles(0, milliseconds, 1, &handle, &index);
    if (hr == S_OK)
        return index == WAIT_ABANDONED_0 ? WaitOutcome::Abandoned : WaitOutcome::Signaled;
    if (hr == RPC_S_CALLPENDING)
        return WaitOutcome::TimedOut;
    // A thread outside every apartment (CO_E_NOTINITIALIZED) has no
    // messages of COM's to dispatch.
    switch (WaitForSingleObject(handle, milliseconds)) {
    case WAIT_OBJECT_0:
        return WaitOutcome::Signaled;
    case WAIT_ABANDONED:
        return WaitOutcome::Abandoned;
    case WAIT_TIMEOUT:
        return WaitOutcome::TimedOut;
    default:
        return WaitOutcome::Failed;
    }
}

// Pauses between tries, dispatching messages like any other wait: it waits
// on an event that nobody sets. The pause grows while the wait goes on.
class Pause {
public:
    void Wait(const Deadline& deadline) noexcept
    {
        const DWORD milliseconds = std::min(length_, deadline.Remaining());
        length_ = std::min(length_ * 2, kLongestPause);
        if (!event_)
            event_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!event_ || WaitDispatching(event_.get(), milliseconds) == WaitOutcome::Failed)
            Sleep(milliseconds);
    }

private:
    DWORD length_ = 1;
    UniqueKernelHandle event_;
};

uint64_t NameHash(std::u16string_view name) noexcept
{
    uint64_t hash = 0xCBF29CE484222325u;  // FNV-1a, case folded as Windows names files
    for (const char16_t unit : name) {
        hash ^= ToLower(unit);
        hash *= 0x100000001B3u;
    }
    return hash;
}

// What the system calls the file or folder open as `handle`: the final,
// long form of its path, links resolved.
bool FinalPathOf(HANDLE handle, std::u16string& path)
{
    std::u16string buffer(MAX_PATH, u'\0');
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleW(handle, AsWide(&buffer[0]), static_cast<DWORD>(buffer.size()),
                                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0)
            return false;
        if (length < buffer.size()) {
            buffer.resize(length);
            path = std::move(buffer);
            return true;
        }
        buffer.resize(length);
    }
}

// Opens a file or folder for its attributes only, which no sharing mode of
// another program and no lock stands in the way of.
UniqueFileHandle OpenForAttributes(const std::u16string& path)
{
    return UniqueFileHandle(CreateFileW(AsWide(path), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | kNoImpersonation, nullptr));
}

// The final path of the absolute `path`: the file's own where it exists,
// else its folder's with the name as given. Where the system cannot tell it
// (no folder, a file system that keeps no such name), the path as given:
// opening the lock file beside it then tells whether there is a folder.
std::u16string FinalPathOfFile(const std::u16string& path)
{
    std::u16string final;
    if (const UniqueFileHandle file = OpenForAttributes(path); file && FinalPathOf(file.get(), final))
        return final;
    const size_t cut = path.find_last_of(u"\\/") + 1;
    if (const UniqueFileHandle folder = OpenForAttributes(path.substr(0, cut));
        folder && FinalPathOf(folder.get(), final)) {
        if (final.empty() || final.back() != u'\\')
            final += u'\\';
        return final + path.substr(cut);
    }
    return path;
}

// Failures to open the lock file that mean the folder will not hold one:
// going on unlocked is all there is. Any other failure (a network that
// drops, a lock file opened elsewhere without sharing) may pass, so it is
// tried again within the bound.
bool FolderRefusesLockFile(DWORD error) noexcept
{
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_DIRECTORY:
    case ERROR_NOT_SUPPORTED:
        return true;
    default:
        return false;
    }
}

// Failures of LockFileEx that mean the file system has no byte-range locks.
bool HasNoRangeLocks(DWORD error) noexcept
{
    return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION || error == ERROR_CALL_NOT_IMPLEMENTED;
}

}  // namespace

bool IsLockFileName(std::u16string_view path) noexcept
{
    const std::u16string_view name = path.substr(path.find_last_of(u"\\/") + 1);
    const std::u16string_view lockName = AsU16(std::wstring_view(kLockFileName));
    if (name.size() != lockName.size())
        return false;
    for (size_t i = 0; i < name.size(); ++i) {
        if (ToLower(name[i]) != ToLower(lockName[i]))
            return false;
    }
    return true;
}

void FileLockSite::Bind(const std::u16string& iniPath)
{
    iniPath_ = iniPath;
    lockFile_.reset();
    writerMutex_.reset();
}

FileLockSite::Opening FileLockSite::Open(SystemError& error)
{
    if (iniPath_.empty())
        return Opening::Refused;  // no file: nothing to protect
    const std::u16string final = FinalPathOfFile(iniPath_);
    const size_t cut = final.find_last_of(u"\\/") + 1;
    offset_ = NameHash(std::u16string_view(final).substr(cut)) % kSlots * 4;
    if (!writerMutex_) {
        // Without the mutex writers on this machine still exclude each other
        // through the range; they only poll.
        const uint64_t hash = NameHash(final);
        std::wstring name = L"IniPlugin.FileLock.";
        for (int shift = 60; shift >= 0; shift -= 4)
            name += L"0123456789abcdef"[(hash >> shift) & 0xF];
        writerMutex_.reset(CreateMutexW(nullptr, FALSE, name.c_str()));
    }
    // Write access, because where the system keeps locks as POSIX ones
    // (Wine, servers that share a folder from a POSIX system) an exclusive
    // lock through a handle without it is taken as a shared one, which other
    // machines do not see as exclusive. A lock file that refuses write access
    // is used through a read-only handle, which still excludes this machine's
    // other writers.
    const std::u16string lockPath = final.substr(0, cut) + AsU16(kLockFileName);
    constexpr DWORD kFlags = FILE_ATTRIBUTE_HIDDEN | kNoImpersonation;
    lockFile_.reset(CreateFileW(AsWide(lockPath), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, kFlags, nullptr));
    if (!lockFile_ && GetLastError() == ERROR_ACCESS_DENIED)
        lockFile_.reset(CreateFileW(AsWide(lockPath), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, kFlags, nullptr));
    if (lockFile_)
        return Opening::Opened;
    error = GetLastError();
    return FolderRefusesLockFile(error) ? Opening::Refused : Opening::Broken;
}

FileLock FileLockSite::Acquire(FileLockMode mode, WaitKind kind)
{
    const Deadline deadline(kind);
    FileLock lock(nullptr, 0, mode);
    Pause pause;
    for (;;) {
        if (!lockFile_) {
            SystemError error = 0;
            switch (Open(error)) {
            case Opening::Opened:
                break;
            case Opening::Refused:
                lock.state_ = FileLock::State::Unlocked;
                return lock;
            case Opening::Broken:
                lock.error_ = error;
                if (deadline.Remaining() == 0)
                    return lock;
                pause.Wait(deadline);
                continue;
            }
        }
        lock.file_ = lockFile_.get();
        lock.offset_ = offset_;
        if (mode == FileLockMode::Exclusive && writerMutex_ && !lock.ownedMutex_) {
            switch (WaitDispatching(writerMutex_.get(), deadline.Remaining())) {
            case WaitOutcome::Signaled:
            case WaitOutcome::Abandoned:  // its holder died; the range tells the rest
                lock.ownedMutex_ = writerMutex_.get();
                break;
            case WaitOutcome::TimedOut:
                return lock;
            case WaitOutcome::Failed:
                break;
            }
        }
        switch (lock.TryOnce()) {
        case FileLock::Attempt::Held:
            lock.state_ = FileLock::State::Held;
            return lock;
        case FileLock::Attempt::Unsupported:
            lock.state_ = FileLock::State::Unlocked;
            return lock;
        case FileLock::Attempt::Broken:
            // The handle may be what broke (a network connection that was
            // lost): the next try opens the lock file again.
            lock.Unlock();
            lock.file_ = nullptr;
            lockFile_.reset();
            break;
        case FileLock::Attempt::Busy:
            lock.error_ = ERROR_LOCK_VIOLATION;
            break;
        }
        if (deadline.Remaining() == 0)
            return lock;
        pause.Wait(deadline);
    }
}

FileLock::FileLock(HANDLE file, uint64_t offset, FileLockMode mode) noexcept
    : file_(file), offset_(offset), mode_(mode)
{
}

FileLock::FileLock(FileLock&& other) noexcept
    : file_(other.file_),
      offset_(other.offset_),
      mode_(other.mode_),
      ownedMutex_(std::exchange(other.ownedMutex_, nullptr)),
      holdsGate_(std::exchange(other.holdsGate_, false)),
      holdsUse_(std::exchange(other.holdsUse_, false)),
      holdsWaiting_(std::exchange(other.holdsWaiting_, false)),
      state_(other.state_),
      error_(other.error_)
{
}

FileLock::~FileLock()
{
    Unlock();
    if (ownedMutex_)
        ReleaseMutex(ownedMutex_);
}

bool FileLock::LockByte(unsigned byte, bool exclusive) noexcept
{
    OVERLAPPED at = {};
    const uint64_t offset = offset_ + byte;
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    return LockFileEx(file_, flags, 0, 1, 0, &at) != FALSE;
}

void FileLock::UnlockByte(unsigned byte) noexcept
{
    OVERLAPPED at = {};
    const uint64_t offset = offset_ + byte;
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    UnlockFileEx(file_, 0, 1, 0, &at);
}

FileLock::Attempt FileLock::Classify(DWORD error) noexcept
{
    if (error == ERROR_LOCK_VIOLATION)
        return Attempt::Busy;
    if (HasNoRangeLocks(error))
        return Attempt::Unsupported;
    error_ = error;
    return Attempt::Broken;
}

FileLock::Attempt FileLock::TryOnce() noexcept
{
    if (mode_ == FileLockMode::Shared) {
        if (!LockByte(kGate, false)) {
            const Attempt attempt = Classify(GetLastError());
            // A writer is in: wait where the next writer lets readers in
            // first. Taking the waiting byte fails only at the moment a
            // writer looks at it; the next try takes it then.
            if (attempt == Attempt::Busy && !holdsWaiting_)
                holdsWaiting_ = LockByte(kWaiting, false);
            return attempt;
        }
        // A writer holds the use byte only while it holds the gate, so past
        // the gate the use byte is free of writers.
        holdsUse_ = LockByte(kUse, false);
        const Attempt attempt = holdsUse_ ? Attempt::Held : Classify(GetLastError());
        UnlockByte(kGate);
        if (holdsUse_ && holdsWaiting_) {
            UnlockByte(kWaiting);
            holdsWaiting_ = false;
        }
        return attempt;
    }
    // Readers that waited for the last writer go in before this one.
    if (!LockByte(kWaiting, true))
        return Classify(GetLastError());
    UnlockByte(kWaiting);
    if (!LockByte(kGate, true))
        return Classify(GetLastError());
    holdsGate_ = true;
    const ULONGLONG sliceEnd = GetTickCount64() + kDrainSlice;
    Attempt attempt;
    for (;;) {
        if (LockByte(kUse, true)) {
            holdsUse_ = true;
            return Attempt::Held;
        }
        attempt = Classify(GetLastError());
        if (attempt != Attempt::Busy || GetTickCount64() >= sliceEnd)
            break;
        Sleep(1);
    }
    UnlockByte(kGate);
    holdsGate_ = false;
    return attempt;
}

void FileLock::Unlock() noexcept
{
    if (holdsUse_)
        UnlockByte(kUse);
    if (holdsGate_)
        UnlockByte(kGate);
    if (holdsWaiting_)
        UnlockByte(kWaiting);
    holdsUse_ = holdsGate_ = holdsWaiting_ = false;
}

}  // namespace platform
