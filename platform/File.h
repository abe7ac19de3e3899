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

#include "platform/SystemError.h"

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
    friend bool ReadWholeFile(const std::u16string& path, FileContent& content, SystemError& error);

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
// open. False when the file cannot be opened or read; `error` then tells
// why, and `content` is unspecified.
bool ReadWholeFile(const std::u16string& path, FileContent& content, SystemError& error);

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
    // step failed (including the close), when the target is read-only or a
    // folder, when the target could not be looked at (only a target that is
    // not there counts as none), or when the target could not be replaced:
    // the target is then as it was and no temporary file is left.
    bool Commit();

    // Why the first step that failed did so; 0 while none has.
    SystemError error() const noexcept { return error_; }

private:
    // Creates the temporary file unless the target refuses to be replaced.
    void Open();
    // Closes the temporary file, reporting whether the close succeeded.
    bool Close() noexcept;
    void Discard() noexcept;
    // Marks the replacement failed, keeping the first reason given.
    void Fail(SystemError reason) noexcept;

    std::u16string target_;
    std::u16string temporary_;
    // The open temporary file: a Windows HANDLE or a POSIX descriptor; -1
    // (INVALID_HANDLE_VALUE on Windows) while none is open.
    std::intptr_t handle_ = -1;
    bool failed_ = false;
    SystemError error_ = 0;
};

}  // namespace platform
