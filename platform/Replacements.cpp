// What a save leaves beside its target while it runs, or when it was killed:
// its new version under a temporary name.
#include <algorithm>
#include <new>

#include "platform/File.h"

namespace platform {

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
