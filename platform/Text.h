#pragma once
// The portable core's view of the platform's text services: conversion
// between UTF-16 and the system ANSI code page, and the runtime's per-unit
// lower-casing and white-space classification. On Windows these are the real
// ANSI code page and the C runtime; elsewhere Windows-1252 stands for the ANSI
// code page. This header includes nothing of Windows.
#include <string>
#include <string_view>

namespace platform {

// Appends the UTF-16 form of ANSI text to `out`. False when the platform
// cannot convert it; `out` may then hold part of the text.
[[nodiscard]] bool AppendAnsiAsUtf16(std::string_view ansi, std::u16string& out);

// Appends the ANSI form of UTF-16 text to `out`; characters the code page
// lacks become its default replacement character. False when the platform
// cannot convert it; `out` may then hold part of the text.
[[nodiscard]] bool AppendUtf16AsAnsi(std::u16string_view text, std::string& out);

// Lower-cases one UTF-16 unit: A to Z always, other letters as the C
// runtime's current locale maps them.
char16_t ToLower(char16_t unit) noexcept;

// Wide white space as the C runtime classes it (iswspace).
bool IsSpace(char16_t unit) noexcept;

// Lower-cases every unit of `text` in place.
void LowerInPlace(std::u16string& text) noexcept;

}  // namespace platform
