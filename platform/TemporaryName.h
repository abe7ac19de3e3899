#pragma once
// The name under which a new version of a file is written before it takes the
// file's place: in the file's own folder, so that putting it in place is a
// rename within one volume, and random, so that no other program can predict
// it or collide with it.
#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

constexpr size_t kTemporaryNameRandomBytes = 16;

// "~ini-" and the random bytes as hex digits, then ".tmp", in the folder of
// `target` (the part up to its last separator; none: the current folder).
inline std::u16string TemporaryNameBeside(std::u16string_view target, std::u16string_view separators,
                                          const unsigned char (&random)[kTemporaryNameRandomBytes])
{
    const size_t cut = target.find_last_of(separators);
    std::u16string name(cut == std::u16string_view::npos ? std::u16string_view() : target.substr(0, cut + 1));
    name += u"~ini-";
    for (const unsigned char byte : random) {
        name += u"0123456789abcdef"[byte >> 4];
        name += u"0123456789abcdef"[byte & 0x0F];
    }
    name += u".tmp";
    return name;
}

}  // namespace platform
