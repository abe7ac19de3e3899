// Saving: how the document's lines become the bytes of a file.
#include <algorithm>
#include <cstring>
#include <memory>

#include "document/IniFileReader.h"
#include "platform/File.h"
#include "platform/Text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace document {

// The bytes of a file being saved, gathered in one buffer and handed to the
// file whenever it fills. After a failed write every later write is dropped
// and `failed` stays true.
class SaveBuffer {
public:
    // `expectedBytes` sizes the buffer for a small file.
    SaveBuffer(const std::u16string& path, size_t expectedBytes)
        : file_(path),
          size_(std::clamp(expectedBytes, kSmallestBufferBytes, kBufferBytes)),
          bytes_(std::make_unique<char[]>(size_)),
          failed_(!file_.Write(std::string_view()))
    {
    }

    // Where the next `count` bytes (a few at most) go; Advance then says how
    // many of them were written.
    char* Room(size_t count)
    {
        if (used_ + count > size_)
            Flush();
        return bytes_.get() + used_;
    }
    void Advance(size_t count) noexcept { used_ += count; }

    void Append(std::string_view bytes)
    {
        while (!bytes.empty()) {
            if (used_ == size_)
                Flush();
            const size_t piece = std::min(bytes.size(), size_ - used_);
            std::memcpy(bytes_.get() + used_, bytes.data(), piece);
            used_ += piece;
            bytes.remove_prefix(piece);
        }
    }

    bool failed() const noexcept { return failed_; }

    // Why writing or finishing failed.
    platform::SystemError error() const noexcept { return file_.error(); }

    bool Finish()
    {
        Flush();
        return !failed_ && file_.Commit();
    }

private:
    static constexpr size_t kBufferBytes = 256 * 1024;
    static constexpr size_t kSmallestBufferBytes = 4096;

    void Flush()
    {
        if (!file_.Write(std::string_view(bytes_.get(), used_)))
            failed_ = true;
        used_ = 0;
    }

    platform::FileReplacement file_;
    const size_t size_;
    std::unique_ptr<char[]> bytes_;
    size_t used_ = 0;
    bool failed_;
};

// How the lines of the document become bytes.
struct Encoding {
    // Bytes before the first line.
    std::string_view start;
    // Appends one line's bytes, its line end included; false when the line
    // cannot be converted.
    bool (*appendLine)(std::u16string_view line, SaveBuffer& out);
};

}  // namespace document

namespace {

using document::SaveBuffer;

// Appends the ANSI form of a line, each line feed in it as CR LF, as the
// runtime's text mode writes it. ASCII is the same in every ANSI code page,
// so it is narrowed here, eight units at a time where the processor can;
// only runs of other characters go through the platform's conversion, which
// costs a call or two per run. Conversion to an ANSI code page keeps no state
// from one character to the next, so converting runs apart gives the same
// bytes as converting the whole line.
bool AppendAnsiLine(std::u16string_view line, SaveBuffer& out)
{
    const char16_t* next = line.data();
    const char16_t* const end = next + line.size();
    while (next != end) {
        char* const target = out.Room(8);
#if defined(__SSE2__)
        // The last units of a line are compared as a block of their own,
        // padded with zeros, rather than read past the line's end.
        const size_t units = std::min<size_t>(8, static_cast<size_t>(end - next));
        __m128i block;
        if (units == 8) {
            block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(next));
        } else {
            char16_t padded[8] = {};
            std::memcpy(padded, next, units * sizeof(char16_t));
            block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(padded));
        }
        const __m128i ascii =
            _mm_cmpeq_epi16(_mm_and_si128(block, _mm_set1_epi16(static_cast<short>(0xFF80))), _mm_setzero_si128());
        const __m128i feeds = _mm_cmpeq_epi16(block, _mm_set1_epi16(u'\n'));
        const unsigned plainUnits = static_cast<unsigned>(_mm_movemask_epi8(_mm_andnot_si128(feeds, ascii)));
        // The units before the first line feed or non-ASCII unit go through
        // as they are; that unit, if any, is handled below.
        const size_t plain = std::min(units, plainUnits == 0xFFFF ? size_t{8} : __builtin_ctz(~plainUnits) / 2);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(target), _mm_packus_epi16(block, block));
#else
        size_t plain = 0;
        while (plain < 8 && next + plain != end && next[plain] < 0x80 && next[plain] != u'\n') {
            target[plain] = static_cast<char>(next[plain]);
            ++plain;
        }
#endif
        out.Advance(plain);
        next += plain;
        if (next == end || (*next < 0x80 && *next != u'\n'))
            continue;
        if (*next == u'\n') {
            std::memcpy(out.Room(2), "\r\n", 2);
            out.Advance(2);
            ++next;
            continue;
        }
        const char16_t* runEnd = next;
        while (runEnd != end && *runEnd >= 0x80)
            ++runEnd;
        std::string converted;
        if (!platform::AppendUtf16AsAnsi(std::u16string_view(next, static_cast<size_t>(runEnd - next)), converted))
            return false;
        out.Append(converted);
        next = runEnd;
    }
    std::memcpy(out.Room(2), "\r\n", 2);
    out.Advance(2);
    return true;
}

// UTF-16 text as little-endian units, unchanged.
bool AppendUnicodeLine(std::u16string_view line, SaveBuffer& out)
{
    out.Append(std::string_view(reinterpret_cast<const char*>(line.data()), line.size() * sizeof(char16_t)));
    out.Append(std::string_view("\r\0\n\0", 4));
    return true;
}

const document::Encoding kAnsi = {std::string_view(), AppendAnsiLine};
const document::Encoding kUnicode = {std::string_view("\xFF\xFE", 2), AppendUnicodeLine};

}  // namespace

bool IniFileReader::Save(const std::u16string& path) const
{
    return unicode_ ? SaveUnicode(path) : SaveAnsi(path);
}

bool IniFileReader::SaveAnsi(const std::u16string& path) const { return SaveWith(path, kAnsi); }

bool IniFileReader::SaveUnicode(const std::u16string& path) const { return SaveWith(path, kUnicode); }

// A key line is its name, "=" and its text with nothing around the "=",
// which is how a Value holds it. Text that cannot be converted fails the
// save before the file is replaced.
bool IniFileReader::SaveWith(const std::u16string& path, const document::Encoding& encoding) const
{
    // About as many bytes as the text that was loaded.
    document::SaveBuffer out(path, loadedText.size() * (unicode_ ? 2 : 1) + 2);
    out.Append(encoding.start);
    bool converted = true;
    for (const Section& section : sectionList) {
        converted = converted && encoding.appendLine(section.header, out);
        for (const Value& value : section.valueList)
            converted = converted && encoding.appendLine(value.line(), out);
        if (!converted || out.failed())
            break;
    }
    if (converted && out.Finish())
        return true;
    lastError_ = converted ? out.error() : platform::kUnconvertibleText;
    return false;
}
