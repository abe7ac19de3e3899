// What a save leaves beside its target while it runs, or when it was killed:
// its new version under a temporary name.
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

void RemoveAbandonedReplacements(const std::u16string& target) noexcept
{
    try {
        for (const std::u16string& name : ReplacementsBeside(target))
            RemoveFile(name);
    } catch (const std::bad_alloc&) {
        // Left for the next save.
    }
}

}  // namespace platform
