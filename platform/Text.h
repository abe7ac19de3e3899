#pragma once
// The portable core's view of the platform's text services: conversion
// between UTF-16 and the system ANSI code page, and the per-unit rules for
// lower-casing and white space. On Windows the conversion is the real ANSI
// code page; elsewhere Windows-1252 stands for it. The rules are the same in
// every build. This header includes nothing of Windows.
#include <string>
#include <string_view>

namespace platform {

// Appends the UTF-16 form of ANSI text to `out`. False when the platform
// cannot convert it, or some of its bytes are not valid in the code page;
// `out` may then hold part of the text.
[[nodiscard]] bool AppendAnsiAsUtf16(std::string_view ansi, std::u16string& out);

// Appends the ANSI form of UTF-16 text to `out`; characters the code page
// lacks become its default replacement character, never a look-alike. False
// when the platform cannot convert it; `out` may then hold part of the text.
[[nodiscard]] bool AppendUtf16AsAnsi(std::u16string_view text, std::string& out);

// Whether every character of `text` has a form of its own in the ANSI code
// page, one that converts back to the same character.
bool RepresentableInAnsi(std::u16string_view text);

// The rules below are those of the plug-in's C runtime (msvcrt) in the "C"
// locale, which the plug-in's DLL runs in, fixed in a table of our own: the
// result never depends on a locale that the host (or any other code of the
// process) has chosen, and the portable build checks the very rules the DLL
// ships.

// Lower-cases one UTF-16 unit: A to Z become a to z, every other unit stays
// as it is, as towlower does in the "C" locale.
constexpr char16_t ToLower(char16_t unit) noexcept
{
    return (unit >= u'A' && unit <= u'Z') ? static_cast<char16_t>(unit + (u'a' - u'A')) : unit;
}

// White space as iswspace classes it: tab to carriage return, space, and
// the runtime's wider spaces (no-break space, the spaces of U+2000 to
// U+200A, the line and paragraph separators, ideographic space and others).
bool IsSpace(char16_t unit) noexcept;

}  // namespace platform
