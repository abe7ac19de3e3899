#pragma once
// Conversion between UTF-16 and a Windows code page, for texts of any size.
// MultiByteToWideChar and WideCharToMultiByte count in int, so a text is
// converted in pieces of at most `pieceLimit` input units, each ending on a
// character boundary: never between a lead byte and its trail byte, between
// the bytes of one UTF-8 sequence, or between the two halves of a surrogate
// pair. A piece holds at least one whole character whatever the limit, which
// the tests use to split texts everywhere.
#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// Small enough that neither side of one call comes near what an int counts,
// whatever the longest character of the code page.
constexpr size_t kConversionPieceLimit = size_t{1} << 28;

// Appends the UTF-16 form of `bytes` to `out`. False when a call fails
// (including a call that converts nothing): the text cannot be converted,
// also when some of its bytes are not valid in the code page.
bool AppendCodePageAsUtf16(UINT codePage, std::string_view bytes, std::u16string& out,
                           size_t pieceLimit = kConversionPieceLimit);

// Appends the `codePage` form of `text` to `out`. False when a call fails.
bool AppendUtf16AsCodePage(UINT codePage, std::u16string_view text, std::string& out,
                           size_t pieceLimit = kConversionPieceLimit);

// Makes the document convert its ANSI text with `codePage` instead of the
// system's ANSI code page (CP_ACP, to go back), so that tests can try code
// pages that the machine does not use.
void SetAnsiCodePageForTesting(UINT codePage) noexcept;

}  // namespace platform
