#pragma once
// The name under which a new version of a file is written before it takes the
// file's place: in the file's own folder, so that putting it in place is a
// rename within one volume; random, so that no other program can predict it
// or collide with it; and tagged with the target's name, so that a later save
// of the same file can tell the versions that a killed process left behind
// from those of other files.
//
//   ~ini-TTTTTTTT-RRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRR.tmp
//
// T: a hash of the target's file name with its case folded, 8 hex digits;
// R: the random bytes, 32 hex digits.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Text.h"

namespace platform {

constexpr size_t kTemporaryNameRandomBytes = 16;

namespace temporary_name {

constexpr std::u16string_view kPrefix = u"~ini-";
constexpr std::u16string_view kSuffix = u".tmp";
constexpr std::u16string_view kHexDigits = u"0123456789abcdef";
constexpr size_t kTagDigits = 8;
constexpr size_t kRandomDigits = 2 * kTemporaryNameRandomBytes;
constexpr size_t kLength = kPrefix.size() + kTagDigits + 1 + kRandomDigits + kSuffix.size();

// Where the folder part of `target` ends (0: no folder, the current one).
inline size_t FolderLength(std::u16string_view target, std::u16string_view separators) noexcept
{
    const size_t cut = target.find_last_of(separators);
    return cut == std::u16string_view::npos ? 0 : cut + 1;
}

// "~ini-", the target name's tag and "-".
inline std::u16string Lead(std::u16string_view target, std::u16string_view separators)
{
    uint32_t hash = 0x811C9DC5u;  // FNV-1a
    for (const char16_t unit : target.substr(FolderLength(target, separators))) {
        hash ^= ToLower(unit);
        hash *= 0x01000193u;
    }
    std::u16string lead(kPrefix);
    for (int shift = 28; shift >= 0; shift -= 4)
        lead += kHexDigits[(hash >> shift) & 0xF];
    lead += u'-';
    return lead;
}

}  // namespace temporary_name

// A new temporary name for a version of `target`, in its folder.
inline std::u16string TemporaryNameBeside(std::u16string_view target, std::u16string_view separators,
                                          const unsigned char (&random)[kTemporaryNameRandomBytes])
{
    using namespace temporary_name;
    std::u16string name(target.substr(0, FolderLength(target, separators)));
    name += Lead(target, separators);
    for (const unsigned char byte : random) {
        name += kHexDigits[byte >> 4];
        name += kHexDigits[byte & 0x0F];
    }
    name += kSuffix;
    return name;
}

// Whether `fileName` (a name in the folder of `target`, without folder) is
// one that TemporaryNameBeside gives for `target`.
inline bool IsTemporaryNameOf(std::u16string_view fileName, std::u16string_view target,
                              std::u16string_view separators)
{
    using namespace temporary_name;
    const std::u16string lead = Lead(target, separators);
    if (fileName.size() != kLength || fileName.substr(0, lead.size()) != lead ||
        fileName.substr(kLength - kSuffix.size()) != kSuffix)
        return false;
    const std::u16string_view random = fileName.substr(lead.size(), kRandomDigits);
    return random.find_first_not_of(kHexDigits) == std::u16string_view::npos;
}

}  // namespace platform
