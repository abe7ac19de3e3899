#pragma once
// The lock through which the plug-in's navigators coordinate their use of one
// file, whoever created them and in whichever thread, process or machine:
// many readers at once, or one writer.
//
// The lock is two bytes of the file itself, far past any data an INI file
// holds, locked shared or exclusively with LockFileEx. Such a range holds
// across processes and, on a shared folder whose file system has byte-range
// locks, across machines; the system releases it when its holder ends, even
// when the holder is killed; and it keeps no other program from reading or
// writing the file. Writers on one machine also queue on a mutex named after
// the path, so that they wait their turn without polling.
//
// Wine's ReplaceFileW moves the old file away before it moves the new one
// in. An acquisition that finds no file while a new version of it waits
// beside it under a temporary name takes that for such a moment and looks
// again, so that a reader does not take the file for missing and a writer
// does not create one of its own in its place.
//
// Every save replaces the file, so a range locked through a handle opened
// before the replacement is a range of the old file. An acquisition therefore
// checks, once it holds the range, that its handle still refers to the file
// at the path, and starts again when it does not.
//
// Waits are bounded. While it waits, a thread in a single-threaded apartment
// keeps dispatching its messages; it never does so while it holds the range.
#include <windows.h>

#include <chrono>
#include <string>

#include "platform/windows/UniqueHandle.h"

namespace platform {

// How long an acquisition waits before it gives up: 10 seconds.
constexpr std::chrono::milliseconds kFileLockWaitBound{10000};

enum class FileLockMode { Shared, Exclusive };

// What an exclusive acquisition does when the file does not exist: leave it
// so (nothing to lock but the name), or create it empty so that it carries
// the lock, as a writer that is about to create the file anyway does.
enum class WhenMissing { Leave, Create };

class FileLock {
public:
    // Waits until the lock is held, the file turns out not to exist or not to
    // take byte-range locks, or the bound has passed.
    static FileLock Acquire(const std::u16string& path, FileLockMode mode, WhenMissing whenMissing = WhenMissing::Leave);

    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&&) = delete;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

    // False when the bound passed before the lock could be had. A reader
    // then reads anyway; a writer gives up.
    bool acquired() const noexcept { return acquired_; }

    // What one try to lock the bytes through `file_` came to.
    enum class Attempt { Held, Busy, Unsupported };

private:
    FileLock() = default;
    // Tries once; a writer that gets past the gate waits there a moment for
    // the readers inside to leave.
    Attempt TryOnce(FileLockMode mode) noexcept;
    void Unlock() noexcept;

    UniqueKernelHandle writerMutex_;
    bool ownsWriterMutex_ = false;
    UniqueFileHandle file_;
    bool holdsGate_ = false;
    bool holdsUse_ = false;
    bool acquired_ = false;
};

// Shortens (or restores) the bound for tests that hold a lock on purpose.
void SetFileLockWaitBoundForTesting(std::chrono::milliseconds bound) noexcept;

}  // namespace platform
