#pragma once
// The portable core's view of the platform's files: reading a whole file by
// its UTF-16 path, and replacing a file with new content in one step so that
// a failure at any point leaves the old file exactly as it was. This header
// includes nothing of Windows.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "UTF-16 LE files are read as code units where they lie, which needs a little-endian machine"
#endif

namespace platform {

// A whole file's bytes. They are kept in 16-bit storage so that a UTF-16 LE
// file can be read as code units where it lies, without a second copy.
class FileContent {
public:
    std::string_view bytes() const noexcept
    {
        return std::string_view(reinterpret_cast<const char*>(storage_.data()), byteCount_);
    }

    // The bytes as little-endian UTF-16 code units; an odd last byte is not
    // part of any unit.
    std::u16string_view units() const noexcept { return std::u16string_view(storage_.data(), byteCount_ / 2); }

    // Hands over the units as a string, without copying them; the content
    // is empty afterwards.
    std::u16string ReleaseUnits() noexcept
    {
        storage_.resize(byteCount_ / 2);
        byteCount_ = 0;
        return std::move(storage_);
    }

private:
    friend bool ReadWholeFile(const std::u16string& path, FileContent& content);

    // Makes the content `byteCount` bytes long, keeping the bytes it holds.
    char* Resize(size_t byteCount)
    {
        storage_.resize((byteCount + 1) / 2);
        byteCount_ = byteCount;
        return reinterpret_cast<char*>(storage_.data());
    }

    std::u16string storage_;
    size_t byteCount_ = 0;
};

// Reads the whole file into `content`, with one read where the file does not
// grow meanwhile. Others may read, write and delete the file while it is
// open. False when the file cannot be opened or read; `content` is then
// unspecified.
bool ReadWholeFile(const std::u16string& path, FileContent& content);

// Whether the file begins with the UTF-16 LE byte-order mark FF FE; false
// also when it cannot be read or does not exist (a file the private-profile
// functions create is ANSI text).
bool BeginsWithUtf16Mark(const std::u16string& path);

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

    // Flushes and closes the new version and puts it in place of the target,
    // which keeps its attributes where the platform allows. False when any
    // step failed (including the close), when the target is read-only, or
    // when the target could not be replaced: the target is then as it was
    // and no temporary file is left.
    bool Commit();

private:
    // Creates the temporary file unless the target refuses to be replaced.
    void Open();
    // Closes the temporary file, reporting whether the close succeeded.
    bool Close() noexcept;
    void Discard() noexcept;

    std::u16string target_;
    std::u16string temporary_;
    // The open temporary file: a Windows HANDLE or a POSIX descriptor; -1
    // (INVALID_HANDLE_VALUE on Windows) while none is open.
    std::intptr_t handle_ = -1;
    bool failed_ = false;
};

// Whether a new version of `target` waits in its folder under a temporary
// name: a save of it is under way, or one was killed before it ended.
bool ReplacementUnderway(const std::u16string& target) noexcept;

// Removes the new versions of `target` that saves of it left in its folder
// when their process was killed before it could remove them: the files whose
// names TemporaryNameBeside gives for this target, and no others. Call it
// only while no save of the target can be running, that is under the lock
// that writers of the file hold. A file that is still open stays.
void RemoveAbandonedReplacements(const std::u16string& target) noexcept;

}  // namespace platform
