// Loading: how the bytes of a file become the document's lines.
#include "document/IniFileReader.h"
#include "platform/File.h"
#include "platform/Text.h"

namespace {

// ANSI text is converted in pieces that end at a line feed, a byte that no
// code page uses inside a character, so that no conversion call gets more
// than the platform takes at once.
constexpr size_t kConversionPiece = 16 * 1024 * 1024;

// Calls `line` for each line of `text`. A line ends with a line feed, which
// is not part of it, and so is a carriage return right before it; a carriage
// return anywhere else is data. A last line without a line feed is a line
// like the others; text that ends with a line feed has no empty line after it.
template <class LineHandler>
void ForEachLine(std::u16string_view text, LineHandler&& line)
{
    const char16_t* next = text.data();
    const char16_t* const end = next + text.size();
    while (next != end) {
        const char16_t* feed = next;
        while (feed != end && *feed != u'\n')
            ++feed;
        const char16_t* lineEnd = feed;
        if (feed != end && lineEnd != next && lineEnd[-1] == u'\r')
            --lineEnd;
        line(std::u16string_view(next, static_cast<size_t>(lineEnd - next)));
        next = feed == end ? end : feed + 1;
    }
}

// Only spaces are skipped to find a line's first significant unit; a tab is
// significant.
size_t FirstSignificant(std::u16string_view line) noexcept
{
    size_t position = 0;
    while (position < line.size() && line[position] == u' ')
        ++position;
    return position;
}

}  // namespace

// The whole file is read before the document changes, so a file that cannot
// be read leaves the document as it was.
bool IniFileReader::Load(const std::u16string& path)
{
    platform::FileContent content;
    if (!platform::ReadWholeFile(path, content, lastError_))
        return false;
    const std::string_view bytes = content.bytes();
    unicode_ = bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE';
    Clear();
    if (unicode_) {
        LoadUnicode(content);
    } else if (!LoadAnsi(content)) {
        lastError_ = platform::kUnconvertibleText;
        return false;
    }
    return true;
}

// False when the text cannot be converted; nothing of it is kept then.
bool IniFileReader::LoadAnsi(platform::FileContent& content)
{
    std::string_view bytes = content.bytes();
    loadedText.reserve(bytes.size());
    while (!bytes.empty()) {
        const size_t feed = bytes.size() <= kConversionPiece ? bytes.npos : bytes.find('\n', kConversionPiece);
        const size_t piece = feed == bytes.npos ? bytes.size() : feed + 1;
        if (!platform::AppendAnsiAsUtf16(bytes.substr(0, piece), loadedText)) {
            Clear();
            return false;
        }
        bytes.remove_prefix(piece);
    }
    content = platform::FileContent();
    AddLines(0);
    return true;
}

// The byte-order mark is the first unit of the first line; a file that holds
// only the mark thus has one empty line.
void IniFileReader::LoadUnicode(platform::FileContent& content)
{
    loadedText = content.ReleaseUnits();
    AddLines(1);
}

void IniFileReader::AddLines(size_t skipped)
{
    ForEachLine(loadedText, [&](std::u16string_view line) {
        line.remove_prefix(skipped);
        skipped = 0;
        const size_t firstSignificant = FirstSignificant(line);
        // The first line starts a Section whatever it holds; every later
        // line does so only when it is a header.
        if (!sectionList.empty() && (firstSignificant == line.size() || line[firstSignificant] != u'['))
            sectionList.back().AddLine(line, firstSignificant);
        else
            AddSection(line, firstSignificant);
    });
}

void IniFileReader::AddSection(std::u16string_view line, size_t firstSignificant)
{
    sectionList.emplace_back().header = line;
    // A first line that is blank or a comment starts a Section that no name
    // reaches; only such a leading Section stays out of the index.
    if (firstSignificant != line.size() && line[firstSignificant] != u';')
        sectionIndex.Enter(sectionList.back().Key(), sectionList.size() - 1, SectionKeyAt{this});
}

void IniFileReader::Section::AddLine(std::u16string_view line, size_t firstSignificant)
{
    // Every line keeps its place in the Section, whatever it holds.
    Value& value = valueList.emplace_back();
    value.rawLine = true;
    if (firstSignificant == line.size() || line[firstSignificant] == u';') {
        // Blank lines and comments keep their indentation.
        value.name = line;
        return;
    }
    value.name = line.substr(firstSignificant);
    const size_t equals = value.name.find(u'=');
    if (equals == 0 || equals == value.name.npos)
        return;
    // Only the first "=" splits; neither side is trimmed.
    value.text = value.name.substr(equals + 1);
    value.name = value.name.substr(0, equals);
    value.rawLine = false;
    Index(valueList.size() - 1);
}
