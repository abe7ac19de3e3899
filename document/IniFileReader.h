#pragma once
// The plug-in's own copy of one INI file: every line of the file in file
// order, grouped into sections, with a case-insensitive index of the sections
// by name and, in each section, of its keys by name. It answers lookups,
// takes updates and writes the whole file back, every line it did not change
// as it was read, except that every line ends in CR LF and that lines other
// than headers, comments and blank lines lose their indentation.
//
// The file is ANSI text (the system code page) unless it begins with the
// UTF-16 LE byte-order mark; it is written back in the encoding it was read
// in. A file that begins with the mark of UTF-8 or of UTF-16 BE is not
// loaded at all.
//
// A load keeps the file's whole text, as UTF-16, in one string, and the lines
// of the document point into it: loading makes no allocation per line, and a
// line costs 16 bytes besides its text. Names and texts that SetValue brings
// are kept beside it until the next load.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "document/NameIndex.h"
#include "platform/SystemError.h"

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "UTF-16 LE files are read and written as code units where they lie, which needs a little-endian machine"
#endif

namespace platform {
class FileReader;
}
namespace document {
struct Encoding;
}

class IniFileReader {
public:
    class Section;
    class Value;

    IniFileReader();
    virtual ~IniFileReader();
    IniFileReader(const IniFileReader&) = delete;
    IniFileReader& operator=(const IniFileReader&) = delete;

    // Replaces the whole content with the file's lines. False when the file
    // cannot be opened or read, or begins with the byte-order mark of UTF-8
    // or of UTF-16 BE (document/ByteOrderMark.h): when it cannot be opened,
    // its first bytes cannot be read or they are such a mark, the document
    // keeps what it held; when a later read fails, or the text cannot be
    // converted from the ANSI code page, the document is empty.
    bool Load(const std::u16string& path);

    // Loads the file as Load does when it begins with the UTF-16 LE
    // byte-order mark; of any other file reads only the first bytes and
    // empties the document. False as for Load.
    bool LoadIfUnicode(const std::u16string& path);

    // Empties the document, as before its first load: no lines, and
    // `unicode` cleared.
    void Clear() noexcept;

    // Looks the pair up without regard to case. On success assigns the
    // stored text, untrimmed, and returns true; otherwise leaves `text`
    // unchanged.
    bool GetValue(std::u16string_view section, std::u16string_view key, std::u16string& text) const;

    // Sets the text of the key, adding the key at the end of its section and
    // the section at the end of the document when they are missing.
    void SetValue(std::u16string_view section, std::u16string_view key, std::u16string_view text);

    // Writes the whole document in the encoding it was loaded in, to a new
    // file that then takes the place of `path` in one step. False when any
    // step fails or the file is read-only; `path` is then untouched.
    bool Save(const std::u16string& path) const;

    // The slots that looking up every section and every key once visits in
    // the indexes: about one per name, unless names crowd together.
    size_t LookupProbes() const;

    // The file last loaded began with the UTF-16 LE byte-order mark FF FE.
    bool unicode() const noexcept { return unicode_; }

    // Why the last Load or Save that returned false failed: the system's
    // code for the step that failed, platform::kUnconvertibleText for text
    // the ANSI code page cannot take, or platform::kUnwrittenEncoding for a
    // file whose mark Load refuses. Unspecified after a success.
    platform::SystemError lastError() const noexcept { return lastError_; }

private:
    bool LoadFrom(const std::u16string& path, bool ansiToo);
    // Each makes `text` of a file whose first bytes (those of a mark, or
    // fewer in a shorter file) `start` holds, reading the rest. The reason it failed
    // (a read error, or text the ANSI code page cannot convert), or 0.
    static platform::SystemError ReadAnsi(platform::FileReader& file, std::string_view start, std::u16string& text);
    static platform::SystemError ReadUnicode(platform::FileReader& file, std::string_view start,
                                             std::u16string& text);
    // Splits the loaded text into lines and gives each to the document; the
    // first `skipped` units of the first line are not part of it.
    void AddLines(size_t skipped);
    // A key line of SetValue's, kept in `addedText`.
    Value KeyLine(std::u16string_view name, std::u16string_view text);

    bool SaveAnsi(const std::u16string& path) const;
    bool SaveUnicode(const std::u16string& path) const;
    bool SaveWith(const std::u16string& path, const document::Encoding& encoding) const;

    // The position of the Section indexed under "[" + `name` + "]".
    uint32_t FindSection(std::u16string_view name) const;
    // The name a Section is indexed under, read from its header.
    struct SectionKeyAt {
        const IniFileReader* document;
        std::u16string_view operator()(size_t position) const;
    };

    // The text of the file last loaded, which the lines view.
    std::u16string loadedText;
    // Headers and key lines that SetValue brought since the last load; a
    // deque never moves what it holds, so the lines stay valid.
    std::deque<std::u16string> addedText;
    document::NameIndex sectionIndex;
    std::vector<Section> sectionList;
    bool unicode_ = false;
    // Save is const: reporting why it failed changes nothing of the content.
    mutable platform::SystemError lastError_ = 0;
};

// One line of a section other than its header: a key line (name, "=",
// text), or a line kept verbatim in `name` (comment, blank line, line
// without a usable "="). It points into the texts that the document keeps,
// where a key line's text follows its name and one "=", as in the file.
class IniFileReader::Value {
public:
    // The longest line a Value holds; the document takes longer lines in
    // pieces of this length.
    static constexpr size_t kLongestLine = INT32_MAX;

    // A key line: `nameLength` units of name, "=", `textLength` units of text.
    static Value Key(const char16_t* start, size_t nameLength, size_t textLength);
    // A line kept verbatim.
    static Value Raw(std::u16string_view line);

    std::u16string_view name() const noexcept { return std::u16string_view(start_, nameLength_); }
    std::u16string_view text() const noexcept
    {
        return rawLine() ? std::u16string_view() : std::u16string_view(start_ + nameLength_ + 1, textLength_);
    }
    bool rawLine() const noexcept { return textLength_ == kRaw; }
    // The line as the file holds it, without its indentation: the name, and
    // for a key line "=" and the text.
    std::u16string_view line() const noexcept
    {
        return std::u16string_view(start_, rawLine() ? nameLength_ : size_t{nameLength_} + 1 + textLength_);
    }

private:
    static constexpr uint32_t kRaw = UINT32_MAX;

    const char16_t* start_ = nullptr;
    uint32_t nameLength_ = 0;
    uint32_t textLength_ = kRaw;
};

// A header line and every line after it up to the next header.
//
// Its keys are indexed at the first lookup, not by the load: a commit loads
// the whole file to change a few sections, and hashing every key of every
// other section would cost it more than the rest of the load.
class IniFileReader::Section {
public:
    // The key line indexed under `key`, or null.
    const Value* FindValue(std::u16string_view key) const;
    Value* FindValue(std::u16string_view key);
    // Adds a key line after the last line of the Section and indexes it.
    Value& AddKey(const Value& key);

    // The header with white space stripped from both ends: the name the
    // Section is indexed under, compared without regard to case.
    std::u16string_view Key() const noexcept;

    // The slots that looking up every key once visits in the index.
    size_t LookupProbes() const;

    std::u16string_view header;
    std::vector<Value> valueList;

private:
    // The name a Value is indexed under.
    struct ValueNameAt {
        const Section* section;
        std::u16string_view operator()(size_t position) const { return section->valueList[position].name(); }
    };

    // Indexes every key line of `valueList` unless that is done. A lookup
    // that changes nothing but this cache stays const; a document belongs
    // to one thread.
    const document::NameIndex& Index() const;

    mutable document::NameIndex valueIndex;
    mutable bool indexed = false;
};
