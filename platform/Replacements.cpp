// What a save leaves beside its target while it runs, or when it was killed:
// its new version under a temporary name.
#include <algorithm>
#include <new>
#include <string>

#include "platform/File.h"

namespace platform {

bool FileReplacement::WriteCopyOfTarget()
{
    if (failed_)
        return false;
    FileReader target(target_);
    if (!target.opened()) {
        if (IsMissing(target_))
            return true;
        Fail(target.error());
        return false;
    }
    std::string buffer(size_t{1} << 20, '\0');
    for (;;) {
        size_t got = 0;
        if (!target.Read(&buffer[0], buffer.size(), got)) {
            Fail(target.error());
            return false;
        }
        if (got == 0)
            return true;
        if (!Write(std::string_view(buffer.data(), got)))
            return false;
    }
}

bool ReplacementUnderway(const std::u16string& target) noexcept
{
    try {
        return !ReplacementsBeside(target).empty();
    } catch (const std::bad_alloc&) {
        return false;  // taken for none: the caller then sees the file as missing
    }
}

void SettleAbandonedReplacements(const std::u16string& target) noexcept
{
    try {
        std::vector<FileEntry> versions = ReplacementsBeside(target);
        if (versions.empty())
            return;
        if (IsMissing(target)) {
            const auto newest = std::max_element(versions.begin(), versions.end(),
                                                 [](const FileEntry& a, const FileEntry& b) { return a.modified < b.modified; });
            if (!MoveToMissing(newest->path, target))
                return;  // nothing is removed while the target is missing
            versions.erase(newest);
        }
        for (const FileEntry& version : versions)
            RemoveFile(version.path);
    } catch (const std::bad_alloc&) {
        // Left for the next save.
    }
}

}  // namespace platform
