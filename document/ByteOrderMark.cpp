#include "document/ByteOrderMark.h"

#include "platform/File.h"

namespace document {

ByteOrderMark MarkAtStart(std::string_view start) noexcept
{
    if (start.substr(0, 2) == "\xFF\xFE")
        return ByteOrderMark::Utf16Le;
    if (start.substr(0, 2) == "\xFE\xFF")
        return ByteOrderMark::Utf16Be;
    if (start.substr(0, 3) == "\xEF\xBB\xBF")
        return ByteOrderMark::Utf8;
    return ByteOrderMark::None;
}

ByteOrderMark MarkOfFile(const std::u16string& path)
{
    platform::FileReader file(path);
    char start[kLongestMark];
    size_t got = 0;
    if (!file.opened() || !file.ReadUpTo(start, sizeof start, got))
        return ByteOrderMark::None;
    return MarkAtStart(std::string_view(start, got));
}

}  // namespace document
