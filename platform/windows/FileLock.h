#pragma once
// The lock through which the plug-in's navigators coordinate their use of one
// INI file, whoever created them and in whichever thread, process or machine:
// many readers at once, or one writer.
//
// The lock is never on the INI file itself. Windows' private-profile
// functions lock the INI file around every call and wait while a conflicting
// range is locked; a range the plug-in held on that file would make them wait
// for the plug-in, in the plug-in's own thread too, since ranges belong to
// handles. Instead the navigators of every INI file in a folder meet in one
// file beside them, kLockFileName, hidden, which the plug-in creates and
// never replaces, truncates or removes, and opens without sharing deletion
// so that nobody removes it while it is in use. Each INI file has bytes of
// its own in it, chosen from its final name (links, short names and case
// resolved), so that every spelling of one file meets at the same bytes.
// They are locked with LockFileEx: such ranges hold across processes and, on
// a shared folder whose file system has byte-range locks, across machines,
// and the system frees them when their holder ends, even when it is killed.
// Writers on one machine also queue on a mutex named after the file, so that
// they wait their turn without polling.
//
// Waits are bounded (platform/windows/WaitBounds.h). While it waits, a thread
// in a single-threaded apartment keeps dispatching its messages, but never
// while it holds the gate that keeps readers out.
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/SystemError.h"
#include "platform/windows/UniqueHandle.h"
#include "platform/windows/WaitBounds.h"

namespace platform {

// The name of the lock file in each folder whose INI files the plug-in has
// written or waited for.
constexpr wchar_t kLockFileName[] = L"IniPlugin.lock";

// Whether the file that `path` names is a lock file by its name. No
// navigator may take it for an INI file: the profile functions would wait,
// on Windows, for the locks the navigators hold in it.
bool IsLockFileName(std::u16string_view path) noexcept;

enum class FileLockMode { Shared, Exclusive };

class FileLockSite;

// One hold of the lock, released when the object ends.
class FileLock {
public:
    enum class State {
        // The range is held.
        Held,
        // Nothing can be locked: the folder refuses the lock file, or its
        // file system has no byte-range locks. The caller goes on as if
        // alone, and removes nothing that another might be writing.
        Unlocked,
        // The bound passed first, or the system kept failing: error() says
        // why. A reader reads anyway; a writer gives up.
        Failed,
    };

    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&&) = delete;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

    State state() const noexcept { return state_; }
    bool held() const noexcept { return state_ == State::Held; }
    // Whether the caller may go on: the range is held, or nothing can be.
    bool mayProceed() const noexcept { return state_ != State::Failed; }
    // Why a Failed acquisition failed: ERROR_LOCK_VIOLATION when another
    // held the lock for the whole bound.
    SystemError error() const noexcept { return error_; }

private:
    friend class FileLockSite;
    // What one try of the bytes came to.
    enum class Attempt { Held, Busy, Unsupported, Broken };

    FileLock(HANDLE file, uint64_t offset, FileLockMode mode) noexcept;
    // Tries once; a writer that gets past the gate waits there a moment for
    // the readers inside to leave.
    Attempt TryOnce() noexcept;
    Attempt Classify(DWORD error) noexcept;
    bool LockByte(unsigned byte, bool exclusive) noexcept;
    void UnlockByte(unsigned byte) noexcept;
    void Unlock() noexcept;

    HANDLE file_ = nullptr;
    uint64_t offset_ = 0;
    FileLockMode mode_ = FileLockMode::Shared;
    HANDLE ownedMutex_ = nullptr;
    bool holdsGate_ = false;
    bool holdsUse_ = false;
    bool holdsWaiting_ = false;
    State state_ = State::Failed;
    SystemError error_ = ERROR_LOCK_VIOLATION;
};

// Where the lock of one INI file lives: its folder's lock file, kept open
// from the first acquisition to the end of the object, and the file's bytes
// in it. One per navigator; not shared between threads.
class FileLockSite {
public:
    FileLockSite() = default;
    FileLockSite(const FileLockSite&) = delete;
    FileLockSite& operator=(const FileLockSite&) = delete;

    // Binds the site to another INI file (an absolute path), closing what
    // it held for the last one.
    void Bind(const std::u16string& iniPath);

    // Waits until the lock is held, nothing can be locked, or the bound of
    // `kind` has passed. The site must outlive the returned lock.
    FileLock Acquire(FileLockMode mode, WaitKind kind);

private:
    enum class Opening { Opened, Refused, Broken };
    // Finds the file's final name, its bytes and its writers' mutex, and
    // opens (creating it where missing) the lock file of its folder.
    Opening Open(SystemError& error);

    std::u16string iniPath_;
    UniqueFileHandle lockFile_;
    uint64_t offset_ = 0;
    UniqueKernelHandle writerMutex_;
};

}  // namespace platform
