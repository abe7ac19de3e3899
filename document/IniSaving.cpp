// Saving: how the document's lines become the bytes of a file.
#include <cstring>

#include "document/IniFileReader.h"
#include "platform/File.h"
#include "platform/Text.h"

namespace {

// The bytes of a file being saved, handed to the file in large pieces.
class SaveBuffer {
public:
    explicit SaveBuffer(const std::u16string& path) : file_(path) { pending_.reserve(kPieceBytes); }

    // The pending bytes, for the encoder to append to.
    std::string& pending() noexcept { return pending_; }

    // Passes the pending bytes on once there are enough of them.
    bool Pass()
    {
        if (pending_.size() < kPieceBytes)
            return true;
        const bool written = file_.Write(pending_);
        pending_.clear();
        return written;
    }

    bool Finish() { return file_.Write(pending_) && file_.Commit(); }

private:
    static constexpr size_t kPieceBytes = 256 * 1024;

    platform::FileReplacement file_;
    std::string pending_;
};

// ANSI text as the runtime's text mode writes it: every line feed, also one
// inside a stored text, goes out as CR LF.
void AppendAnsi(std::u16string_view text, std::string& out)
{
    const size_t start = out.size();
    platform::AppendUtf16AsAnsi(text, out);
    if (std::memchr(out.data() + start, '\n', out.size() - start) == nullptr)
        return;
    const std::string converted = out.substr(start);
    out.resize(start);
    for (const char byte : converted) {
        if (byte == '\n')
            out += '\r';
        out += byte;
    }
}

// UTF-16 text as little-endian units, unchanged.
void AppendUnits(std::u16string_view text, std::string& out)
{
    out.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t));
}

}  // namespace

bool IniFileReader::Save(const std::u16string& path) const
{
    return unicode_ ? SaveUnicode(path) : SaveAnsi(path);
}

bool IniFileReader::SaveAnsi(const std::u16string& path) const
{
    return SaveWith(path, std::string_view(), "\r\n", AppendAnsi);
}

bool IniFileReader::SaveUnicode(const std::u16string& path) const
{
    using namespace std::string_view_literals;
    return SaveWith(path, "\xFF\xFE"sv, "\r\0\n\0"sv, AppendUnits);
}

// Every line, the last one included, ends with `lineEnd`; a key line is its
// name, "=" and its text with nothing around the "=".
template <class Encoder>
bool IniFileReader::SaveWith(const std::u16string& path, std::string_view start, std::string_view lineEnd,
                             const Encoder& encode) const
{
    SaveBuffer buffer(path);
    std::string& out = buffer.pending();
    out += start;
    for (const Section& section : sectionList) {
        encode(section.header, out);
        out += lineEnd;
        for (const Value& value : section.valueList) {
            encode(value.name, out);
            if (!value.rawLine) {
                encode(u"=", out);
                encode(value.text, out);
            }
            out += lineEnd;
            if (!buffer.Pass())
                return false;
        }
        if (!buffer.Pass())
            return false;
    }
    return buffer.Finish();
}
