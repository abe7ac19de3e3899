#pragma once
// What the first bytes of a file say of its encoding. The document reads and
// writes back ANSI text and UTF-16 LE text that begins with its mark. A file
// that begins with the mark of UTF-8 or of UTF-16 BE it does not take for a
// commit: read as ANSI text, such a file would be written back with every
// line changed, and the private-profile functions, which read it between
// commits, do not read it alike on every system.
#include <cstddef>
#include <string>
#include <string_view>

namespace document {

enum class ByteOrderMark { None, Utf16Le, Utf16Be, Utf8 };

// The most bytes a mark has.
constexpr size_t kLongestMark = 3;

// The mark that `start` begins with: the first kLongestMark bytes of a
// file, or all of a shorter one.
ByteOrderMark MarkAtStart(std::string_view start) noexcept;

// The mark that the file at `path` begins with; None also when the file
// cannot be read.
ByteOrderMark MarkOfFile(const std::u16string& path);

// Whether the document refuses to load a file with this mark for a commit.
constexpr bool IsUnwritten(ByteOrderMark mark) noexcept
{
    return mark == ByteOrderMark::Utf16Be || mark == ByteOrderMark::Utf8;
}

}  // namespace document
