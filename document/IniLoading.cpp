// Loading: how the bytes of a file become the document's lines.
#include <algorithm>
#include <cstring>
#include <memory>

#include "document/ByteOrderMark.h"
#include "document/IniFileReader.h"
#include "platform/File.h"
#include "platform/Text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// ANSI text is read and converted in pieces of at most this size, through
// one buffer per load, so that the bytes of a large file are never held
// beside their text. A piece ends at a line feed, a byte that no code page
// uses inside a character. A small file gets a buffer of its own size.
constexpr size_t kAnsiPiece = 256 * 1024;
constexpr size_t kSmallestAnsiPiece = 4096;

// The first unit from `from` on that is `one` or `other`, or `limit`. Eight
// units at a time where the processor can compare them at once: this search
// is most of the work of a load.
const char16_t* FindEither(const char16_t* from, const char16_t* limit, char16_t one, char16_t other) noexcept
{
#if defined(__SSE2__)
    const __m128i ones = _mm_set1_epi16(static_cast<short>(one));
    const __m128i others = _mm_set1_epi16(static_cast<short>(other));
    for (; limit - from >= 8; from += 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
        const int found = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(units, ones), _mm_cmpeq_epi16(units, others)));
        if (found != 0)
            return from + __builtin_ctz(static_cast<unsigned>(found)) / 2;
    }
#endif
    while (from != limit && *from != one && *from != other)
        ++from;
    return from;
}

// The lines of one Section as they are read, gathered in a buffer that
// every Section of a load reuses, so that each Section's list is allocated
// once, at its final size.
class SectionBuilder {
public:
    void Add(const IniFileReader::Value& value) { lines_.push_back(value); }

    // Hands the gathered lines to the Section.
    void FinishInto(IniFileReader::Section& section)
    {
        section.valueList.assign(lines_.begin(), lines_.end());
        lines_.clear();
    }

private:
    std::vector<IniFileReader::Value> lines_;
};

}  // namespace

bool IniFileReader::Load(const std::u16string& path) { return LoadFrom(path, true); }

bool IniFileReader::LoadIfUnicode(const std::u16string& path) { return LoadFrom(path, false); }

// A file that cannot be opened, or whose first bytes cannot be read, or
// that begins with a mark the document does not write, leaves the document
// as it was. Past that the text of the last load is emptied and takes the
// new one, so that loading again (as a navigator does at every commit)
// reuses its memory instead of holding two texts at once and drawing fresh
// pages from the system; a read error then leaves the document empty.
bool IniFileReader::LoadFrom(const std::u16string& path, bool ansiToo)
{
    platform::FileReader file(path);
    char mark[document::kLongestMark];
    size_t got = 0;
    if (!file.opened() || !file.ReadUpTo(mark, sizeof mark, got)) {
        lastError_ = file.error();
        return false;
    }
    const std::string_view start(mark, got);
    const document::ByteOrderMark found = document::MarkAtStart(start);
    const bool unicode = found == document::ByteOrderMark::Utf16Le;
    if (!unicode && !ansiToo) {
        Clear();
        return true;
    }
    if (document::IsUnwritten(found)) {
        lastError_ = platform::kUnwrittenEncoding;
        return false;
    }
    std::u16string text = std::move(loadedText);
    Clear();
    unicode_ = unicode;
    text.clear();
    lastError_ = unicode ? ReadUnicode(file, start, text) : ReadAnsi(file, start, text);
    if (lastError_ != 0)
        return false;
    loadedText = std::move(text);
    // The byte-order mark is the first unit of the first line; a file that
    // holds only the mark thus has one empty line.
    AddLines(unicode ? 1 : 0);
    return true;
}

platform::SystemError IniFileReader::ReadAnsi(platform::FileReader& file, std::string_view start,
                                              std::u16string& text)
{
    // A code page never makes more than one unit of a byte.
    text.reserve(file.size());
    const size_t bufferSize = std::clamp(file.size() + 1, kSmallestAnsiPiece, kAnsiPiece);
    const auto buffer = std::make_unique<char[]>(bufferSize);
    size_t pending = start.size();
    std::memcpy(buffer.get(), start.data(), pending);
    std::string overflow;  // a line longer than the buffer
    for (;;) {
        size_t got = 0;
        if (!file.ReadUpTo(buffer.get() + pending, bufferSize - pending, got))
            return file.error();
        pending += got;
        const std::string_view piece(buffer.get(), pending);
        if (got == 0) {
            overflow += piece;
            return platform::AppendAnsiAsUtf16(overflow, text) ? 0 : platform::kUnconvertibleText;
        }
        const size_t feed = piece.rfind('\n');
        if (feed == piece.npos) {
            overflow += piece;
            pending = 0;
            continue;
        }
        bool converted;
        if (overflow.empty()) {
            converted = platform::AppendAnsiAsUtf16(piece.substr(0, feed + 1), text);
        } else {
            overflow += piece.substr(0, feed + 1);
            converted = platform::AppendAnsiAsUtf16(overflow, text);
            overflow = std::string();
        }
        if (!converted)
            return platform::kUnconvertibleText;
        pending = piece.size() - (feed + 1);
        std::memmove(buffer.get(), buffer.get() + feed + 1, pending);
    }
}

platform::SystemError IniFileReader::ReadUnicode(platform::FileReader& file, std::string_view start,
                                                 std::u16string& text)
{
    // One byte more than the file holds, so that the first read already
    // meets the end of a file that did not grow (and room for the first
    // bytes of one that did).
    size_t capacity = std::max(file.size(), start.size()) + 1;
    text.resize((capacity + 1) / 2);
    auto* bytes = reinterpret_cast<char*>(&text[0]);
    std::memcpy(bytes, start.data(), start.size());
    size_t filled = start.size();
    for (;;) {
        if (filled == capacity) {
            capacity *= 2;
            text.resize((capacity + 1) / 2);
            bytes = reinterpret_cast<char*>(&text[0]);
        }
        size_t got = 0;
        if (!file.Read(bytes + filled, capacity - filled, got))
            return file.error();
        if (got == 0)
            break;
        filled += got;
    }
    // An odd last byte is not part of any unit.
    text.resize(filled / 2);
    return 0;
}

// Each line is taken in one pass: its leading spaces, then its key up to the
// first "=", then the rest up to the line feed. A line ends with a line feed,
// which is not part of it, and so is a carriage return right before it; a
// carriage return anywhere else is data. A last line without a line feed is a
// line like the others; text that ends with a line feed has no empty line
// after it.
void IniFileReader::AddLines(size_t skipped)
{
    SectionBuilder builder;
    const char16_t* next = loadedText.data();
    const char16_t* const end = next + loadedText.size();
    while (next != end) {
        const char16_t* const lineStart = next + skipped;
        skipped = 0;
        const char16_t* const limit =
            static_cast<size_t>(end - lineStart) > Value::kLongestLine ? lineStart + Value::kLongestLine : end;
        // Only spaces are skipped to find a line's first significant unit; a
        // tab is significant.
        const char16_t* significant = lineStart;
        while (significant != limit && *significant == u' ')
            ++significant;
        const char16_t* const equals = FindEither(significant, limit, u'=', u'\n');
        const char16_t* const feed = FindEither(equals, limit, u'\n', u'\n');
        const char16_t* lineEnd = feed;
        if (feed != limit && lineEnd != lineStart && lineEnd[-1] == u'\r')
            --lineEnd;
        // A line longer than a Value holds goes on as a line of its own.
        next = feed != limit ? feed + 1 : limit;

        const std::u16string_view line(lineStart, static_cast<size_t>(lineEnd - lineStart));
        const bool blank = significant >= lineEnd;
        // The first line starts a Section whatever it holds; every later line
        // does so only when it is a header.
        if (sectionList.empty() || (!blank && *significant == u'[')) {
            if (!sectionList.empty())
                builder.FinishInto(sectionList.back());
            sectionList.emplace_back().header = line;
            // A first line that is blank or a comment starts a Section that
            // no name reaches; only such a leading Section stays out of the
            // index.
            if (!blank && *significant != u';')
                sectionIndex.Enter(sectionList.back().Key(), sectionList.size() - 1, SectionKeyAt{this});
            continue;
        }
        // Every line keeps its place in the Section, whatever it holds.
        // Blank lines and comments keep their indentation; other lines lose
        // it.
        if (blank || *significant == u';') {
            builder.Add(Value::Raw(line));
        } else if (equals == significant || equals >= lineEnd) {
            builder.Add(Value::Raw(line.substr(static_cast<size_t>(significant - lineStart))));
        } else {
            // Only the first "=" splits; neither side is trimmed.
            builder.Add(Value::Key(significant, static_cast<size_t>(equals - significant),
                                   static_cast<size_t>(lineEnd - equals - 1)));
        }
    }
    if (!sectionList.empty())
        builder.FinishInto(sectionList.back());
}
