#include "platform/windows/FileLock.h"

#include <objbase.h>
#include <winternl.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <utility>

#include "platform/File.h"
#include "platform/Text.h"
#include "platform/windows/OpenFlags.h"
#include "platform/windows/WideText.h"

namespace platform {
namespace {

// The locked bytes lie just below 2^63, far past the end of any INI file, so
// the lock never stands in the way of anyone's reads and writes. Offsets
// from 2^63 on are refused by file systems and servers that keep Windows'
// locks as POSIX ones.
//
// Two bytes. Whoever uses the file holds the use byte, readers shared and a
// writer exclusively. A writer first takes the gate byte exclusively and
// keeps it while it waits for the readers inside to leave and while it
// works; a reader passes the gate (shared, for a moment) on its way in. So
// readers that keep coming cannot keep a writer out for good.
constexpr DWORD kRangeOffsetHigh = 0x7FFFFFFF;
enum class LockByte : DWORD { Gate = 0, Use = 1 };

// How long the absence of the file counts as the moment of a replacement
// while a new version of it is still being put in place: Wine's ReplaceFileW
// moves the old file away before it moves the new one in. Longer, a save
// killed in the middle left the new version behind.
constexpr ULONGLONG kReplacementWait = 500;

// How long a writer that holds the gate waits for readers to leave before
// it lets go of the gate to dispatch messages (it must not while it holds
// the gate: a reader on its own thread would wait at that gate).
constexpr DWORD kDrainSlice = 50;

// Others may go on reading, writing, renaming and deleting the file while
// the lock's handle is open; a save's replacement deletes it.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// While another holds the range, the lock is tried again after a pause that
// starts at 1 ms and doubles up to this.
constexpr DWORD kLongestPause = 16;

std::atomic<uint32_t> waitBoundMilliseconds{static_cast<uint32_t>(kFileLockWaitBound.count())};

class Deadline {
public:
    Deadline() noexcept : end_(GetTickCount64() + waitBoundMilliseconds.load()) {}
    DWORD Remaining() const noexcept
    {
        const ULONGLONG now = GetTickCount64();
        return now >= end_ ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(end_ - now, INFINITE - 1));
    }

private:
    ULONGLONG end_;
};

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
// on an event that nobody sets.
class Pause {
public:
    void Wait(DWORD milliseconds) noexcept
    {
        if (!event_)
            event_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!event_ || WaitDispatching(event_.get(), milliseconds) == WaitOutcome::Failed)
            Sleep(milliseconds);
    }

private:
    UniqueKernelHandle event_;
};

// The writers' mutex of a path: named after a hash of the path with its case
// folded, as Windows names files without regard to case. Two paths that
// share a hash only share a queue.
std::wstring WriterMutexName(const std::u16string& path)
{
    uint64_t hash = 0xCBF29CE484222325u;  // FNV-1a
    for (const char16_t unit : path) {
        hash ^= ToLower(unit);
        hash *= 0x100000001B3u;
    }
    std::wstring name = L"IniPlugin.FileLock.";
    for (int shift = 60; shift >= 0; shift -= 4)
        name += L"0123456789abcdef"[(hash >> shift) & 0xF];
    return name;
}

// The file system's number of the file a handle refers to; 0 when the file
// system has none.
ULONGLONG FileNumber(HANDLE file) noexcept
{
    IO_STATUS_BLOCK status;
    FILE_INTERNAL_INFORMATION information = {};
    if (!NT_SUCCESS(NtQueryInformationFile(file, &status, &information, sizeof information, FileInternalInformation)))
        return 0;
    return static_cast<ULONGLONG>(information.IndexNumber.QuadPart);
}

// Whether `held` still refers to the file at `path`: false once the file
// has been replaced or removed since `held` was opened.
bool StillAtPath(HANDLE held, const std::u16string& path) noexcept
{
    const UniqueFileHandle current(
        CreateFileW(AsWide(path), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, kNoImpersonation, nullptr));
    if (!current)
        return false;
    const ULONGLONG number = FileNumber(held);
    return number == 0 || number == FileNumber(current.get());
}

// The handle that carries the lock. A writer asks for write access as well:
// where the system keeps the lock as a POSIX one (Wine, and servers that
// share a folder from a POSIX system), an exclusive lock through a handle
// without it is taken as a shared one, which other machines do not see as
// exclusive. A file that refuses write access is locked through a read-only
// handle, which still excludes this machine's other writers.
HANDLE OpenForLock(const std::u16string& path, FileLockMode mode, DWORD disposition) noexcept
{
    if (mode == FileLockMode::Exclusive) {
        const HANDLE file = CreateFileW(AsWide(path), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, disposition,
                                        FILE_ATTRIBUTE_NORMAL | kNoImpersonation, nullptr);
        if (file != INVALID_HANDLE_VALUE ||
            (GetLastError() != ERROR_ACCESS_DENIED && GetLastError() != ERROR_SHARING_VIOLATION))
            return file;
    }
    return CreateFileW(AsWide(path), GENERIC_READ, kShareAll, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL | kNoImpersonation, nullptr);
}

OVERLAPPED At(LockByte byte) noexcept
{
    OVERLAPPED position = {};
    position.Offset = static_cast<DWORD>(byte);
    position.OffsetHigh = kRangeOffsetHigh;
    return position;
}

bool LockAt(HANDLE file, LockByte byte, FileLockMode mode) noexcept
{
    DWORD flags = LOCKFILE_FAIL_IMMEDIATELY;
    if (mode == FileLockMode::Exclusive)
        flags |= LOCKFILE_EXCLUSIVE_LOCK;
    OVERLAPPED position = At(byte);
    return LockFileEx(file, flags, 0, 1, 0, &position) != FALSE;
}

void UnlockAt(HANDLE file, LockByte byte) noexcept
{
    OVERLAPPED position = At(byte);
    UnlockFileEx(file, 0, 1, 0, &position);
}

// What a try that did not get the lock met: someone else holding it, or a
// file system without byte-range locks.
FileLock::Attempt Unlocked() noexcept
{
    return GetLastError() == ERROR_LOCK_VIOLATION ? FileLock::Attempt::Busy : FileLock::Attempt::Unsupported;
}

}  // namespace

FileLock FileLock::Acquire(const std::u16string& path, FileLockMode mode, WhenMissing whenMissing)
{
    const Deadline deadline;
    FileLock lock;
    if (mode == FileLockMode::Exclusive) {
        // Without the mutex (it could not be made), writers on this machine
        // still exclude each other through the range.
        lock.writerMutex_.reset(CreateMutexW(nullptr, FALSE, WriterMutexName(path).c_str()));
        if (lock.writerMutex_) {
            switch (WaitDispatching(lock.writerMutex_.get(), deadline.Remaining())) {
            case WaitOutcome::Signaled:
            case WaitOutcome::Abandoned:  // its holder died: the file is as the holder left it
                lock.ownsWriterMutex_ = true;
                break;
            case WaitOutcome::TimedOut:
                return lock;
            case WaitOutcome::Failed:
                lock.writerMutex_.reset();
                break;
            }
        }
    }
    const DWORD disposition =
        mode == FileLockMode::Exclusive && whenMissing == WhenMissing::Create ? OPEN_ALWAYS : OPEN_EXISTING;
    ULONGLONG missingSince = 0;
    bool lookedAgain = false;
    Pause pause;
    for (;;) {
        // A writer that meets the moment of a replacement must not create
        // a file of its own in it, nor a reader take it for a missing file.
        lock.file_.reset(OpenForLock(path, mode, disposition == OPEN_ALWAYS ? OPEN_EXISTING : disposition));
        if (!lock.file_ && GetLastError() == ERROR_FILE_NOT_FOUND) {
            const ULONGLONG now = GetTickCount64();
            if (missingSince == 0)
                missingSince = now;
            if (ReplacementUnderway(path) && now - missingSince < kReplacementWait && deadline.Remaining() != 0) {
                pause.Wait(1);
                continue;
            }
            // The replacement may have ended between the open and the look.
            if (!lookedAgain) {
                lookedAgain = true;
                continue;
            }
            if (disposition == OPEN_ALWAYS)
                lock.file_.reset(OpenForLock(path, mode, OPEN_ALWAYS));
        }
        if (!lock.file_) {
            // No file, or one this process cannot open, which the caller's
            // own use of the file then meets as well: nothing to lock.
            lock.acquired_ = true;
            return lock;
        }
        DWORD pauseLength = 1;
        for (;;) {
            const Attempt attempt = lock.TryOnce(mode);
            if (attempt == Attempt::Held)
                break;
            if (attempt == Attempt::Unsupported) {
                lock.file_.reset();
                lock.acquired_ = true;
                return lock;
            }
            const DWORD remaining = deadline.Remaining();
            if (remaining == 0)
                return lock;
            pause.Wait(std::min(pauseLength, remaining));
            pauseLength = std::min(pauseLength * 2, kLongestPause);
        }
        if (StillAtPath(lock.file_.get(), path)) {
            lock.acquired_ = true;
            return lock;
        }
        lock.Unlock();
        if (deadline.Remaining() == 0)
            return lock;
    }
}

FileLock::FileLock(FileLock&& other) noexcept
    : writerMutex_(std::move(other.writerMutex_)),
      ownsWriterMutex_(std::exchange(other.ownsWriterMutex_, false)),
      file_(std::move(other.file_)),
      holdsGate_(std::exchange(other.holdsGate_, false)),
      holdsUse_(std::exchange(other.holdsUse_, false)),
      acquired_(other.acquired_)
{
}

FileLock::~FileLock()
{
    Unlock();
    file_.reset();
    if (ownsWriterMutex_)
        ReleaseMutex(writerMutex_.get());
}

FileLock::Attempt FileLock::TryOnce(FileLockMode mode) noexcept
{
    const HANDLE file = file_.get();
    if (!LockAt(file, LockByte::Gate, mode))
        return Unlocked();
    if (mode == FileLockMode::Shared) {
        // A writer holds the use byte only while it holds the gate, so past
        // the gate the use byte is free of writers.
        holdsUse_ = LockAt(file, LockByte::Use, mode);
        const Attempt attempt = holdsUse_ ? Attempt::Held : Unlocked();
        UnlockAt(file, LockByte::Gate);
        return attempt;
    }
    holdsGate_ = true;
    const ULONGLONG sliceEnd = GetTickCount64() + kDrainSlice;
    Attempt attempt;
    for (;;) {
        if (LockAt(file, LockByte::Use, mode)) {
            holdsUse_ = true;
            return Attempt::Held;
        }
        attempt = Unlocked();
        if (attempt != Attempt::Busy || GetTickCount64() >= sliceEnd)
            break;
        Sleep(1);
    }
    UnlockAt(file, LockByte::Gate);
    holdsGate_ = false;
    return attempt;
}

void FileLock::Unlock() noexcept
{
    if (holdsUse_)
        UnlockAt(file_.get(), LockByte::Use);
    if (holdsGate_)
        UnlockAt(file_.get(), LockByte::Gate);
    holdsUse_ = holdsGate_ = false;
}

void SetFileLockWaitBoundForTesting(std::chrono::milliseconds bound) noexcept
{
    waitBoundMilliseconds.store(static_cast<uint32_t>(bound.count()));
}

}  // namespace platform
