// Saving: how the document's lines become the bytes of a file.
#include "document/IniFileReader.h"
#include "platform/File.h"
#include "platform/Text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace document {

// How the lines of the document become bytes.
struct Encoding {
    // Bytes before the first line.
    std::string_view start;
    // Appends one line's bytes, its line end included: for a key line its
    // name, "=" and text, for any other line `name` alone.
    void (*appendLine)(std::u16string_view name, const std::u16string_view* text, std::string& out);
};

}  // namespace document

namespace {

// Appends the ANSI form of text, each line feed in it as CR LF, as the
// runtime's text mode writes it. ASCII is the same in every ANSI code page,
// so it is narrowed here, eight units at a time where the processor can;
// only runs of other characters go through the platform's conversion, which
// costs a call or two per run. Conversion to an ANSI code page keeps no state
// from one character to the next, so converting runs apart gives the same
// bytes as converting the whole text.
void AppendAnsi(std::u16string_view text, std::string& out)
{
    // Narrowed bytes gather here and reach `out` in blocks.
    char staged[512];
    size_t count = 0;
    const char16_t* next = text.data();
    const char16_t* const end = next + text.size();
    while (next != end) {
        if (count + 8 > sizeof staged) {
            out.append(staged, count);
            count = 0;
        }
#if defined(__SSE2__)
        if (end - next >= 8) {
            const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(next));
            const __m128i ascii =
                _mm_cmpeq_epi16(_mm_and_si128(units, _mm_set1_epi16(static_cast<short>(0xFF80))), _mm_setzero_si128());
            const __m128i feeds = _mm_cmpeq_epi16(units, _mm_set1_epi16(u'\n'));
            const int plainUnits = _mm_movemask_epi8(_mm_andnot_si128(feeds, ascii));
            // The units before the first line feed or non-ASCII unit go
            // through as they are; that unit, if any, is handled below.
            const size_t plain = plainUnits == 0xFFFF ? 8 : __builtin_ctz(~static_cast<unsigned>(plainUnits)) / 2;
            _mm_storel_epi64(reinterpret_cast<__m128i*>(staged + count), _mm_packus_epi16(units, units));
            count += plain;
            next += plain;
            if (plain == 8)
                continue;
        }
#endif
        const char16_t unit = *next;
        if (unit == u'\n') {
            staged[count++] = '\r';
            staged[count++] = '\n';
            ++next;
        } else if (unit < 0x80) {
            staged[count++] = static_cast<char>(unit);
            ++next;
        } else {
            const char16_t* runEnd = next;
            while (runEnd != end && *runEnd >= 0x80)
                ++runEnd;
            out.append(staged, count);
            count = 0;
            platform::AppendUtf16AsAnsi(std::u16string_view(next, static_cast<size_t>(runEnd - next)), out);
            next = runEnd;
        }
    }
    out.append(staged, count);
}

void AppendAnsiLine(std::u16string_view name, const std::u16string_view* text, std::string& out)
{
    AppendAnsi(name, out);
    if (text != nullptr) {
        out += '=';
        AppendAnsi(*text, out);
    }
    out += "\r\n";
}

// UTF-16 text as little-endian units, unchanged.
void AppendUnits(std::u16string_view text, std::string& out)
{
    out.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t));
}

void AppendUnicodeLine(std::u16string_view name, const std::u16string_view* text, std::string& out)
{
    AppendUnits(name, out);
    if (text != nullptr) {
        AppendUnits(u"=", out);
        AppendUnits(*text, out);
    }
    out.append("\r\0\n\0", 4);
}

const document::Encoding kAnsi = {std::string_view(), AppendAnsiLine};
const document::Encoding kUnicode = {std::string_view("\xFF\xFE", 2), AppendUnicodeLine};

// The bytes of a file being saved, handed to the file in large pieces.
class SaveBuffer {
public:
    explicit SaveBuffer(const std::u16string& path) : file_(path) { pending_.reserve(kPieceBytes + kPieceBytes / 8); }

    // The pending bytes, for the encoder to append to.
    std::string& pending() noexcept { return pending_; }

    // Passes the pending bytes on once there are enough of them.
    bool Pass() { return pending_.size() < kPieceBytes || Flush(); }

    bool Finish() { return Flush() && file_.Commit(); }

private:
    static constexpr size_t kPieceBytes = 256 * 1024;

    bool Flush()
    {
        const bool written = file_.Write(pending_);
        pending_.clear();
        return written;
    }

    platform::FileReplacement file_;
    std::string pending_;
};

}  // namespace

bool IniFileReader::Save(const std::u16string& path) const
{
    return unicode_ ? SaveUnicode(path) : SaveAnsi(path);
}

bool IniFileReader::SaveAnsi(const std::u16string& path) const { return SaveWith(path, kAnsi); }

bool IniFileReader::SaveUnicode(const std::u16string& path) const { return SaveWith(path, kUnicode); }

// A key line is its name, "=" and its text with nothing around the "=".
bool IniFileReader::SaveWith(const std::u16string& path, const document::Encoding& encoding) const
{
    SaveBuffer buffer(path);
    std::string& out = buffer.pending();
    out += encoding.start;
    for (const Section& section : sectionList) {
        encoding.appendLine(section.header, nullptr, out);
        for (const Value& value : section.valueList) {
            const std::u16string_view text = value.text();
            encoding.appendLine(value.name(), value.rawLine() ? nullptr : &text, out);
            if (!buffer.Pass())
                return false;
        }
        if (!buffer.Pass())
            return false;
    }
    return buffer.Finish();
}
