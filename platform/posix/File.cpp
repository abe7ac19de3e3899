// Files by UTF-16 path on POSIX systems, whose paths are bytes: the UTF-16
// path is handed to the system as UTF-8.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/File.h"
#include "platform/Random.h"
#include "platform/TemporaryName.h"
#include "platform/UniqueAny.h"

namespace platform {
namespace {

struct DirectoryTraits {
    using type = DIR*;
    static DIR* invalid() noexcept { return nullptr; }
    static void close(DIR* value) noexcept { closedir(value); }
};

// A UTF-16 path as the zero-terminated UTF-8 bytes the system takes. A
// surrogate without its partner is encoded like any other unit, so that
// distinct UTF-16 paths stay distinct. A path longer than the system accepts
// becomes empty, which every call refuses. Needs no allocation, so that a
// temporary file can be removed on any path out.
class NativePath {
public:
    explicit NativePath(std::u16string_view path) noexcept
    {
        size_t used = 0;
        for (size_t i = 0; i < path.size(); ++i) {
            char32_t point = path[i];
            if (point >= 0xD800 && point <= 0xDBFF && i + 1 < path.size() && path[i + 1] >= 0xDC00 &&
                path[i + 1] <= 0xDFFF) {
                point = 0x10000 + ((point - 0xD800) << 10) + (path[i + 1] - 0xDC00);
                ++i;
            }
            if (used + 4 >= sizeof bytes_) {
                used = 0;
                break;
            }
            if (point < 0x80) {
                bytes_[used++] = static_cast<char>(point);
            } else if (point < 0x800) {
                bytes_[used++] = static_cast<char>(0xC0 | (point >> 6));
                bytes_[used++] = static_cast<char>(0x80 | (point & 0x3F));
            } else if (point < 0x10000) {
                bytes_[used++] = static_cast<char>(0xE0 | (point >> 12));
                bytes_[used++] = static_cast<char>(0x80 | ((point >> 6) & 0x3F));
                bytes_[used++] = static_cast<char>(0x80 | (point & 0x3F));
            } else {
                bytes_[used++] = static_cast<char>(0xF0 | (point >> 18));
                bytes_[used++] = static_cast<char>(0x80 | ((point >> 12) & 0x3F));
                bytes_[used++] = static_cast<char>(0x80 | ((point >> 6) & 0x3F));
                bytes_[used++] = static_cast<char>(0x80 | (point & 0x3F));
            }
        }
        bytes_[used] = '\0';
    }

    const char* c_str() const noexcept { return bytes_; }

private:
    char bytes_[PATH_MAX];
};

// A file that nobody may write counts as read-only even for a user whom the
// system would let write it anyway, as the read-only attribute does on
// Windows.
bool IsReadOnly(const NativePath& path, const struct stat& status)
{
    return (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(path.c_str(), W_OK) != 0;
}

}  // namespace

void NativeFileTraits::close(std::intptr_t file) noexcept { ::close(static_cast<int>(file)); }

FileReader::FileReader(const std::u16string& path)
{
    const int opened = open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (opened < 0) {
        error_ = static_cast<SystemError>(errno);
        return;
    }
    file_.reset(opened);
    struct stat status;
    if (fstat(opened, &status) != 0)
        error_ = static_cast<SystemError>(errno);
    else if (S_ISDIR(status.st_mode))
        error_ = EISDIR;
    if (error_ != 0) {
        file_.reset();
        return;
    }
    size_ = static_cast<size_t>(std::max<off_t>(status.st_size, 0));
}

bool FileReader::Read(char* buffer, size_t capacity, size_t& got)
{
    for (;;) {
        const ssize_t read = ::read(static_cast<int>(file_.get()), buffer, capacity);
        if (read < 0 && errno == EINTR)
            continue;
        got = read > 0 ? static_cast<size_t>(read) : 0;
        if (read < 0)
            error_ = static_cast<SystemError>(errno);
        return read >= 0;
    }
}

FileReplacement::FileReplacement(std::u16string target) : target_(std::move(target)) { Open(); }

FileReplacement::~FileReplacement() { Discard(); }

void FileReplacement::Open()
{
    const NativePath target(target_);
    struct stat status;
    const bool exists = stat(target.c_str(), &status) == 0;
    if (!exists && errno != ENOENT) {
        Fail(static_cast<SystemError>(errno));
        return;
    }
    if (exists && (S_ISDIR(status.st_mode) || IsReadOnly(target, status))) {
        Fail(S_ISDIR(status.st_mode) ? kFolderInTheWay : EACCES);
        return;
    }
    unsigned char random[kTemporaryNameRandomBytes];
    if (!RandomBytes(random, sizeof random)) {
        Fail(static_cast<SystemError>(errno));
        return;
    }
    temporary_ = TemporaryNameBeside(target_, u"/", random);
    const int created =
        open(NativePath(temporary_).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (created < 0) {
        Fail(static_cast<SystemError>(errno));
        temporary_.clear();  // not ours: nothing to remove
        return;
    }
    file_.reset(created);
    // The new version takes the place of the old one with its permissions.
    if (exists && fchmod(created, status.st_mode & 07777) != 0)
        Fail(static_cast<SystemError>(errno));
}

bool FileReplacement::Write(std::string_view bytes)
{
    while (!failed_ && !bytes.empty()) {
        const ssize_t written = write(static_cast<int>(file_.get()), bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            Fail(static_cast<SystemError>(errno));
        else if (written == 0)
            Fail(EIO);
        else
            bytes.remove_prefix(static_cast<size_t>(written));
    }
    return !failed_;
}

bool FileReplacement::CloseForEditing()
{
    if (!failed_ && !Close())
        Fail(static_cast<SystemError>(errno));
    return !failed_;
}

bool FileReplacement::FlushAndClose() noexcept
{
    if (file_)
        return fsync(static_cast<int>(file_.get())) == 0 && Close();
    const int edited = open(NativePath(temporary_).c_str(), O_WRONLY | O_CLOEXEC);
    const bool flushed = edited >= 0 && fsync(edited) == 0;
    if (edited >= 0)
        ::close(edited);
    return flushed;
}

bool FileReplacement::Commit()
{
    if (!failed_ && (!FlushAndClose() ||
                     rename(NativePath(temporary_).c_str(), NativePath(target_).c_str()) != 0))
        Fail(static_cast<SystemError>(errno));
    if (failed_) {
        Discard();
        return false;
    }
    temporary_.clear();
    return true;
}

bool FileReplacement::Close() noexcept
{
    // Closed here rather than by the owner, whose close reports nothing: a
    // failed close can mean that written data never reached the disk.
    if (!file_)
        return true;
    return ::close(static_cast<int>(file_.release())) == 0;
}

std::vector<FileEntry> ReplacementsBeside(const std::u16string& target)
{
    std::vector<FileEntry> names;
    const std::u16string folder = target.substr(0, temporary_name::FolderLength(target, u"/"));
    const UniqueAny<DirectoryTraits> listing(opendir(folder.empty() ? "." : NativePath(folder).c_str()));
    if (!listing)
        return names;
    while (const dirent* entry = readdir(listing.get())) {
        // Our names are ASCII: a name with other bytes is not one of them.
        const std::string_view name(entry->d_name);
        const std::u16string wide(name.begin(), name.end());
        struct stat status {};
        if (IsTemporaryNameOf(wide, target, u"/") && stat(NativePath(folder + wide).c_str(), &status) == 0)
            names.push_back({folder + wide, static_cast<int64_t>(status.st_mtim.tv_sec) * 1000000000 +
                                                status.st_mtim.tv_nsec});
    }
    return names;
}

void RemoveFile(const std::u16string& path) noexcept { unlink(NativePath(path).c_str()); }

bool IsMissing(const std::u16string& path) noexcept
{
    struct stat status {};
    return stat(NativePath(path).c_str(), &status) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

bool CreateEmptyFile(const std::u16string& path) noexcept
{
    const int created = open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (created < 0)
        return false;
    ::close(created);
    return true;
}

bool MoveToMissing(const std::u16string& from, const std::u16string& to) noexcept
{
    // A link fails where a file has appeared at `to` meanwhile; the move
    // then leaves both as they are.
    if (link(NativePath(from).c_str(), NativePath(to).c_str()) != 0)
        return false;
    unlink(NativePath(from).c_str());
    return true;
}

void FileReplacement::Fail(SystemError reason) noexcept
{
    if (!failed_)
        error_ = reason;
    failed_ = true;
}

void FileReplacement::Discard() noexcept
{
    Close();
    if (!temporary_.empty()) {
        unlink(NativePath(temporary_).c_str());
        temporary_.clear();
    }
}

}  // namespace platform
