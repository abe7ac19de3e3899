#pragma once
// Which section and key names an INI file can hold, so that the name reads
// back as itself: through the private-profile functions and through the
// document, after any number of saves. A name that breaks a rule would be
// stored as something else (a header, a comment, another key, a trimmed
// name) or would add a line with every save, so writes refuse it.
#include <string_view>

namespace document {

enum class NameFault {
    None,
    Empty,              // key: nothing to find the line by
    LineBreak,          // CR or LF: would add lines of its own
    Nul,                // cut there by every C string on the way
    BlankAtEnd,         // white space or a control character at either end: trimmed by readers
    EqualsSign,         // key: the first "=" ends the key
    OpensHeader,        // key: a line that starts with "[" is a section header
    OpensComment,       // key: a line that starts with ";" is a comment
    ClosingBracket,     // section: readers end the name at its first "]"
    NotInCodePage,      // ANSI file: the code page has no such character
};

NameFault KeyNameFault(std::u16string_view key) noexcept;

// The empty section name is allowed: it names the section "[]".
NameFault SectionNameFault(std::u16string_view section) noexcept;

// The same, for a file in the ANSI code page: every character must be one
// the code page holds as itself.
NameFault KeyNameFaultInAnsiFile(std::u16string_view key);
NameFault SectionNameFaultInAnsiFile(std::u16string_view section);

}  // namespace document
