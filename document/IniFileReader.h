#pragma once
// The plug-in's own copy of one INI file: every line of the file in file
// order, grouped into sections, with a case-insensitive index of the sections
// by name and, in each section, of its keys by name. It answers lookups,
// takes updates and writes the whole file back, every line it did not change
// as it was read apart from line ends and the indentation of key lines.
//
// The file is ANSI text (the system code page) unless it begins with the
// UTF-16 LE byte-order mark; it is written back in the encoding it was read
// in.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "document/NameIndex.h"

class IniFileReader {
public:
    class Section;
    class Value;

    IniFileReader();
    virtual ~IniFileReader();
    IniFileReader(const IniFileReader&) = delete;
    IniFileReader& operator=(const IniFileReader&) = delete;

    // Replaces the whole content with the file's lines. False when the file
    // cannot be opened or read; the document then keeps what it held.
    bool Load(const std::u16string& path);

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

    // The file last loaded began with the UTF-16 LE byte-order mark FF FE.
    bool unicode() const noexcept { return unicode_; }

private:
    void Clear() noexcept;
    void LoadAnsi(std::string_view bytes);
    void LoadUnicode(std::u16string_view units);
    // Splits the text into lines and gives each to the document; the first
    // `skipped` units of the first line are not part of it.
    template <class Unit>
    void AddLines(std::basic_string_view<Unit> text, size_t skipped);
    template <class Unit>
    void AddSection(std::basic_string_view<Unit> line, size_t firstSignificant);

    bool SaveAnsi(const std::u16string& path) const;
    bool SaveUnicode(const std::u16string& path) const;
    template <class Encoder>
    bool SaveWith(const std::u16string& path, std::string_view start, std::string_view lineEnd,
                  const Encoder& encode) const;

    // The position of the Section indexed under "[" + `name` + "]".
    uint32_t FindSection(std::u16string_view name) const;
    // The name a Section is indexed under, read from its header.
    struct SectionKeyAt {
        const IniFileReader* document;
        std::u16string_view operator()(size_t position) const;
    };

    document::NameIndex sectionIndex;
    std::vector<Section> sectionList;
    bool unicode_ = false;
};

// One line of a section other than its header: a key line (name, "=",
// text), or a line kept verbatim in `name` (comment, blank line, line
// without a usable "=").
class IniFileReader::Value {
public:
    std::u16string name;
    std::u16string text;
    bool rawLine = false;
};

// A header line and every line after it up to the next header.
class IniFileReader::Section {
public:
    // Adds one line that is not a header; `firstSignificant` is the position
    // of its first unit other than a space (its size when there is none).
    // ANSI text is converted with the system code page.
    void AddLine(std::string_view line, size_t firstSignificant);
    void AddLine(std::u16string_view line, size_t firstSignificant);

    // The key line indexed under `key`, or null.
    const Value* FindValue(std::u16string_view key) const;
    // The key line indexed under `key`, added at the end when missing.
    Value& ValueFor(std::u16string_view key);

    // The header with white space stripped from both ends: the name the
    // Section is indexed under, compared without regard to case.
    std::u16string_view Key() const noexcept;

    std::u16string header;
    document::NameIndex valueIndex;
    std::vector<Value> valueList;

private:
    template <class Unit>
    void AddLineOf(std::basic_string_view<Unit> line, size_t firstSignificant);
    void Index(size_t position);
    struct ValueNameAt {
        const Section* section;
        std::u16string_view operator()(size_t position) const { return section->valueList[position].name; }
    };
};
