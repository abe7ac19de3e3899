#pragma once
// The portable core's view of the platform's files: reading a file by its
// UTF-16 path, and replacing a file with new content in one step so that
// a failure at any point leaves the old file exactly as it was. This header
// includes nothing of Windows.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>
#include <utility>

#include "platform/SystemError.h"
#include "platform/UniqueAny.h"

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "UTF-16 LE files are read as code units where they lie, which needs a little-endian machine"
#endif

namespace platform {

// An open file as the system knows it: a Windows HANDLE or a POSIX
// descriptor, held as a number; -1 (INVALID_HANDLE_VALUE on Windows) holds
// none. Each platform's file layer closes it.
struct NativeFileTraits {
    using type = std::intptr_t;
    static constexpr std::intptr_t invalid() noexcept { return -1; }
    static void close(std::intptr_t file) noexcept;
};
using NativeFile = UniqueAny<NativeFileTraits>;

// A file open for reading, from its start. Others may read, write and
// delete the file while it is open.
class FileReader {
public:
    explicit FileReader(const std::u16string& path);
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    // False when the file could not be opened (or is a folder); error()
    // then tells why.
    bool opened() const noexcept { return file_.valid(); }

    // The file's size when it was opened; it may change meanwhile.
    size_t size() const noexcept { return size_; }

    // Reads at most `capacity` bytes into `buffer`; `got` is 0 at the end of
    // the file. False on a read error; error() then tells why.
    bool Read(char* buffer, size_t capacity, size_t& got);

    // Reads until `capacity` bytes are in `buffer` or the file ends; `got`
    // counts the bytes read. False on a read error.
    bool ReadUpTo(char* buffer, size_t capacity, size_t& got)
    {
        got = 0;
        while (got < capacity) {
            size_t read = 0;
            if (!Read(buffer + got, capacity - got, read))
                return false;
            if (read == 0)
                break;
            got += read;
        }
        return true;
    }

    // Why the open or the last read failed, in the system's terms.
    SystemError error() const noexcept { return error_; }

private:
    NativeFile file_;
    size_t size_ = 0;
    SystemError error_ = 0;
};

// A new version of a file, written to a temporary file beside it and put in
// the file's place by Commit in one step. The temporary file is created
// exclusively, under a name drawn from the system's cryptographic random
// source, so no other program can predict it or have opened it. Until Commit
// succeeds the target is untouched; the destructor removes a temporary file
// that was not committed.
class FileReplacement {
public:
    explicit FileReplacement(std::u16string target);
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;
    ~FileReplacement();

    // Appends bytes to the new version. False when the temporary file could
    // not be created or a write failed; every later call then fails too.
    bool Write(std::string_view bytes);

    // Appends the target's content as it is now (nothing, where there is no
    // target) to the new version, to be edited there. False as for Write, or
    // when the target could not be read.
    bool WriteCopyOfTarget();

    // Closes the new version so that others may open it by path() and change
    // it before Commit, which then flushes it by that path. False when the
    // close failed.
    bool CloseForEditing();

    // Where the new version is; empty when it could not be created.
    const std::u16string& path() const noexcept { return temporary_; }

    // Flushes and closes the new version and puts it in place of the target,
    // which keeps its attributes where the platform allows. Another
    // program's momentary use of the target is waited out, within a bound.
    // False when any step failed (including the close), when the target is
    // read-only or a folder, when the target could not be looked at (only a
    // target that is not there counts as none), or when the target could not
    // be replaced: the target is then as it was and no temporary file is
    // left; or, where the system took the target away and then failed to put
    // the new version in its place, the new version stays under its
    // temporary name, the only copy of the file (SettleAbandonedReplacements
    // puts it in place).
    bool Commit();

    // Why the first step that failed did so; 0 while none has.
    SystemError error() const noexcept { return error_; }

private:
    // Creates the temporary file unless the target refuses to be replaced.
    void Open();
    // Closes the temporary file, reporting whether the close succeeded.
    bool Close() noexcept;
    // Flushes the new version to the disk and closes it: through the handle
    // while it is open, by its path after CloseForEditing.
    bool FlushAndClose() noexcept;
    void Discard() noexcept;
    // Marks the replacement failed, keeping the first reason given.
    void Fail(SystemError reason) noexcept;

    std::u16string target_;
    std::u16string temporary_;
    // The temporary file while it is open.
    NativeFile file_;
    bool failed_ = false;
    SystemError error_ = 0;
};

// A file of a folder listing, with the time it was last written (in the
// system's own units: later is larger).
struct FileEntry {
    std::u16string path;
    int64_t modified;
};

// The new versions of `target` in its folder: the files whose names
// TemporaryNameBeside gives for it, with their folder.
std::vector<FileEntry> ReplacementsBeside(const std::u16string& target);

// Whether a new version of `target` waits in its folder under a temporary
// name: a save of it is under way, or one was killed before it ended.
bool ReplacementUnderway(const std::u16string& target) noexcept;

// Settles what saves of `target` that were killed, or that the system
// failed half way, left in its folder. Where the target is missing, the
// newest of its new versions takes its place: a save leaves the target
// missing only between the two steps of its replacement, when its new
// version is complete. Then, with the target there, the other new versions
// of it are removed, and no other file. Call it only while no save of the
// target can be running, that is under the lock that writers of the file
// hold. A file that is still open stays.
void SettleAbandonedReplacements(const std::u16string& target) noexcept;

// Removes a file, when the system lets it.
void RemoveFile(const std::u16string& path) noexcept;

// Whether nothing is at `path` (and not merely something unreadable).
bool IsMissing(const std::u16string& path) noexcept;

// Creates an empty file at `path`, where no file is. False when it could
// not, or when a file was there.
bool CreateEmptyFile(const std::u16string& path) noexcept;

// Moves the file `from` to `to`, where no file is; false when it could not,
// or when a file has appeared at `to`.
bool MoveToMissing(const std::u16string& from, const std::u16string& to) noexcept;

}  // namespace platform
