#pragma once
// Files for tests: a fresh folder per test that is removed afterwards, and
// byte-exact reading and writing.
#include <filesystem>
#include <string>
#include <string_view>

class TempFolder {
public:
    TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder();

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path File(std::string_view name) const { return path_ / std::filesystem::u8path(name); }
    // Writes a file of the folder with exactly these bytes and returns its path.
    std::filesystem::path WriteFile(std::string_view name, std::string_view bytes) const;

private:
    std::filesystem::path path_;
};

void WriteBytes(const std::filesystem::path& file, std::string_view bytes);
std::string ReadBytes(const std::filesystem::path& file);

// The bytes of a UTF-16 LE file with its byte-order mark.
std::string Utf16LeFile(std::u16string_view text);

// The file's path as UTF-16 text.
std::u16string U16Path(const std::filesystem::path& file);
