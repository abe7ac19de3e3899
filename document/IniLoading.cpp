// Loading: how the bytes of a file become the document's lines.
#include <cstring>

#include "document/IniFileReader.h"
#include "platform/File.h"
#include "platform/Text.h"

namespace {

// Where the next line feed is, or `end`. For bytes, memchr is the fastest
// scan the C library has.
const char* FindLineFeed(const char* from, const char* end) noexcept
{
    const void* found = std::memchr(from, '\n', static_cast<size_t>(end - from));
    return found != nullptr ? static_cast<const char*>(found) : end;
}

const char16_t* FindLineFeed(const char16_t* from, const char16_t* end) noexcept
{
    while (from != end && *from != u'\n')
        ++from;
    return from;
}

// Calls `line` for each line of `text`. A line ends with a line feed, which
// is not part of it, and so is a carriage return right before it; a carriage
// return anywhere else is data. A last line without a line feed is a line
// like the others; text that ends with a line feed has no empty line after it.
template <class Unit, class LineHandler>
void ForEachLine(std::basic_string_view<Unit> text, LineHandler&& line)
{
    const Unit* next = text.data();
    const Unit* const end = next + text.size();
    while (next != end) {
        const Unit* const feed = FindLineFeed(next, end);
        const Unit* lineEnd = feed;
        if (feed != end && lineEnd != next && lineEnd[-1] == Unit('\r'))
            --lineEnd;
        line(std::basic_string_view<Unit>(next, static_cast<size_t>(lineEnd - next)));
        next = feed == end ? end : feed + 1;
    }
}

// Only spaces are skipped to find a line's first significant unit; a tab is
// significant.
template <class Unit>
size_t FirstSignificant(std::basic_string_view<Unit> line) noexcept
{
    size_t position = 0;
    while (position < line.size() && line[position] == Unit(' '))
        ++position;
    return position;
}

void Store(std::string_view ansi, std::u16string& into) { platform::AppendAnsiAsUtf16(ansi, into); }
void Store(std::u16string_view units, std::u16string& into) { into.append(units); }

}  // namespace

bool IniFileReader::Load(const std::u16string& path)
{
    platform::FileContent content;
    if (!platform::ReadWholeFile(path, content))
        return false;
    const std::string_view bytes = content.bytes();
    unicode_ = bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE';
    Clear();
    if (unicode_)
        LoadUnicode(content.units());
    else
        LoadAnsi(bytes);
    return true;
}

void IniFileReader::LoadAnsi(std::string_view bytes) { AddLines(bytes, 0); }

// The byte-order mark is the first unit of the first line; a file that holds
// only the mark thus has one empty line.
void IniFileReader::LoadUnicode(std::u16string_view units) { AddLines(units, 1); }

template <class Unit>
void IniFileReader::AddLines(std::basic_string_view<Unit> text, size_t skipped)
{
    ForEachLine(text, [&](std::basic_string_view<Unit> line) {
        line.remove_prefix(skipped);
        skipped = 0;
        const size_t firstSignificant = FirstSignificant(line);
        // The first line starts a Section whatever it holds; every later
        // line does so only when it is a header.
        if (!sectionList.empty() && (firstSignificant == line.size() || line[firstSignificant] != Unit('[')))
            sectionList.back().AddLine(line, firstSignificant);
        else
            AddSection(line, firstSignificant);
    });
}

template <class Unit>
void IniFileReader::AddSection(std::basic_string_view<Unit> line, size_t firstSignificant)
{
    Section& section = sectionList.emplace_back();
    Store(line, section.header);
    // A first line that is blank or a comment starts a Section that no name
    // reaches; only such a leading Section stays out of the index.
    if (firstSignificant != line.size() && line[firstSignificant] != Unit(';'))
        sectionIndex.Enter(section.Key(), sectionList.size() - 1, SectionKeyAt{this});
}

void IniFileReader::Section::AddLine(std::string_view line, size_t firstSignificant)
{
    AddLineOf(line, firstSignificant);
}

void IniFileReader::Section::AddLine(std::u16string_view line, size_t firstSignificant)
{
    AddLineOf(line, firstSignificant);
}

template <class Unit>
void IniFileReader::Section::AddLineOf(std::basic_string_view<Unit> line, size_t firstSignificant)
{
    // Every line keeps its place in the Section, whatever it holds.
    Value& value = valueList.emplace_back();
    if (firstSignificant == line.size() || line[firstSignificant] == Unit(';')) {
        // Blank lines and comments keep their indentation.
        Store(line, value.name);
        value.rawLine = true;
        return;
    }
    const std::basic_string_view<Unit> significant = line.substr(firstSignificant);
    const size_t equals = significant.find(Unit('='));
    if (equals == 0 || equals == significant.npos) {
        Store(significant, value.name);
        value.rawLine = true;
        return;
    }
    // Only the first "=" splits; neither side is trimmed.
    Store(significant.substr(0, equals), value.name);
    Store(significant.substr(equals + 1), value.text);
    Index(valueList.size() - 1);
}
