// Saving: how the document's lines become the bytes of a file.
#include <cstring>

#include "document/IniFileReader.h"
#include "platform/File.h"
#include "platform/Text.h"

namespace document {

// How the lines of the document become bytes.
struct Encoding {
    // Bytes before the first line.
    std::string_view start;
    // Bytes after every line, the last one included.
    std::string_view lineEnd;
    // Appends a text's bytes; false when the text cannot be converted.
    bool (*append)(std::u16string_view text, std::string& out);
    // Every line feed goes out as CR LF, as the runtime's text mode writes
    // it, also one that a stored text holds.
    bool textMode;
};

}  // namespace document

namespace {

// ASCII is the same in every ANSI code page, so only text beyond it goes
// through the platform's conversion, which costs a call or two per piece.
bool AppendAnsi(std::u16string_view text, std::string& out)
{
    const size_t start = out.size();
    out.resize(start + text.size());
    char* const target = &out[start];
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] >= 0x80) {
            out.resize(start + i);
            return platform::AppendUtf16AsAnsi(text.substr(i), out);
        }
        target[i] = static_cast<char>(text[i]);
    }
    return true;
}

// UTF-16 text as little-endian units, unchanged.
bool AppendUnits(std::u16string_view text, std::string& out)
{
    out.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t));
    return true;
}

const document::Encoding kAnsi = {std::string_view(), "\n", AppendAnsi, true};
const document::Encoding kUnicode = {std::string_view("\xFF\xFE", 2), std::string_view("\r\0\n\0", 4), AppendUnits, false};

// The bytes of a file being saved, handed to the file in large pieces.
class SaveBuffer {
public:
    SaveBuffer(const std::u16string& path, bool textMode) : file_(path), textMode_(textMode)
    {
        pending_.reserve(kPieceBytes + kPieceBytes / 8);
    }

    // The pending bytes, for the encoder to append to.
    std::string& pending() noexcept { return pending_; }

    // Passes the pending bytes on once there are enough of them.
    bool Pass() { return pending_.size() < kPieceBytes || Flush(); }

    bool Finish() { return Flush() && file_.Commit(); }

    // Why passing the bytes on or finishing failed.
    platform::SystemError error() const noexcept { return file_.error(); }

private:
    static constexpr size_t kPieceBytes = 256 * 1024;

    bool Flush()
    {
        bool written;
        if (textMode_) {
            Translate();
            written = file_.Write(translated_);
        } else {
            written = file_.Write(pending_);
        }
        pending_.clear();
        return written;
    }

    // The pending bytes with a CR before every line feed.
    void Translate()
    {
        translated_.clear();
        const char* next = pending_.data();
        const char* const end = next + pending_.size();
        while (next != end) {
            const void* feed = std::memchr(next, '\n', static_cast<size_t>(end - next));
            const char* const stop = feed != nullptr ? static_cast<const char*>(feed) : end;
            translated_.append(next, stop);
            if (stop == end)
                break;
            translated_ += "\r\n";
            next = stop + 1;
        }
    }

    platform::FileReplacement file_;
    const bool textMode_;
    std::string pending_;
    std::string translated_;
};

}  // namespace

bool IniFileReader::Save(const std::u16string& path) const
{
    return unicode_ ? SaveUnicode(path) : SaveAnsi(path);
}

bool IniFileReader::SaveAnsi(const std::u16string& path) const { return SaveWith(path, kAnsi); }

bool IniFileReader::SaveUnicode(const std::u16string& path) const { return SaveWith(path, kUnicode); }

// A key line is its name, "=" and its text with nothing around the "=".
// Text that cannot be converted fails the save before the file is replaced.
bool IniFileReader::SaveWith(const std::u16string& path, const document::Encoding& encoding) const
{
    SaveBuffer buffer(path, encoding.textMode);
    std::string& out = buffer.pending();
    out += encoding.start;
    bool converted = true;
    const auto failed = [&] {
        lastError_ = converted ? buffer.error() : platform::kUnconvertibleText;
        return false;
    };
    for (const Section& section : sectionList) {
        converted &= encoding.append(section.header, out);
        out += encoding.lineEnd;
        for (const Value& value : section.valueList) {
            converted &= encoding.append(value.name, out);
            if (!value.rawLine) {
                converted &= encoding.append(u"=", out);
                converted &= encoding.append(value.text, out);
            }
            out += encoding.lineEnd;
            if (!converted || !buffer.Pass())
                return failed();
        }
        if (!converted || !buffer.Pass())
            return failed();
    }
    return buffer.Finish() || failed();
}
