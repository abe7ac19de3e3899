#include "document/IniNames.h"

#include "platform/Text.h"

namespace document {
namespace {

bool IsBlank(char16_t unit) noexcept { return unit < 0x20 || platform::IsSpace(unit); }

// The rules that hold for sections and keys alike.
NameFault CommonFault(std::u16string_view name) noexcept
{
    if (name.find_first_of(u"\r\n") != name.npos)
        return NameFault::LineBreak;
    if (name.find(u'\0') != name.npos)
        return NameFault::Nul;
    if (!name.empty() && (IsBlank(name.front()) || IsBlank(name.back())))
        return NameFault::BlankAtEnd;
    return NameFault::None;
}

NameFault InAnsiFile(NameFault fault, std::u16string_view name)
{
    if (fault == NameFault::None && !platform::RepresentableInAnsi(name))
        return NameFault::NotInCodePage;
    return fault;
}

}  // namespace

NameFault KeyNameFault(std::u16string_view key) noexcept
{
    if (key.empty())
        return NameFault::Empty;
    if (const NameFault fault = CommonFault(key); fault != NameFault::None)
        return fault;
    if (key.find(u'=') != key.npos)
        return NameFault::EqualsSign;
    if (key.front() == u'[')
        return NameFault::OpensHeader;
    if (key.front() == u';')
        return NameFault::OpensComment;
    return NameFault::None;
}

NameFault SectionNameFault(std::u16string_view section) noexcept
{
    if (const NameFault fault = CommonFault(section); fault != NameFault::None)
        return fault;
    if (section.find(u']') != section.npos)
        return NameFault::ClosingBracket;
    return NameFault::None;
}

NameFault KeyNameFaultInAnsiFile(std::u16string_view key) { return InAnsiFile(KeyNameFault(key), key); }

NameFault SectionNameFaultInAnsiFile(std::u16string_view section)
{
    return InAnsiFile(SectionNameFault(section), section);
}

}  // namespace document
