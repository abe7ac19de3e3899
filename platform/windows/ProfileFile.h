#pragma once
// A file as the system's private-profile functions reach it: one key at a
// time, through the system's cache of the file, in the file's own encoding.
#include <cstdint>
#include <string>

namespace platform {

class ProfileFile {
public:
    // `path` must outlive the object.
    explicit ProfileFile(const std::u16string& path) noexcept : path_(path) {}

    // Copies the text of `key` in `section`, or `defaultText` when the key is
    // missing, into `buffer` (GetPrivateProfileStringW): at most `capacity` - 1
    // units, then a terminator. Returns the number of units copied.
    uint32_t ReadValue(const wchar_t* section, const wchar_t* key, const wchar_t* defaultText, wchar_t* buffer,
                       uint32_t capacity) const noexcept;

    // Sets `key` in `section` to `value`, adding the section and the key when
    // they are missing (WritePrivateProfileStringW). False when the system
    // reports a failure.
    bool WriteValue(const std::u16string& section, const std::u16string& key,
                    const std::u16string& value) const noexcept;

    // Writes what the system's cache holds of the file to the disk. False
    // when the system reports a failure.
    bool Flush() const noexcept;

private:
    const std::u16string& path_;
};

// Makes every call of this process lock the whole file first and wait for
// the lock, as Windows' private-profile functions do and Wine's do not. For
// tests only: the plug-in never calls it.
void LockProfileFilesLikeWindowsForTesting(bool on) noexcept;

}  // namespace platform
