#include <windows.h>

#include <atomic>

#include <algorithm>

#include "platform/SystemError.h"
#include "platform/Text.h"
#include "platform/windows/CodePageText.h"

static_assert(platform::kUnconvertibleText == ERROR_NO_UNICODE_TRANSLATION, "the code the document reports");

namespace platform {
namespace {

// The code page that stands for the ANSI code page: CP_ACP, unless a test
// chose another.
std::atomic<UINT> ansiCodePage{CP_ACP};

bool IsUtf8(UINT codePage) noexcept { return codePage == CP_UTF8 || (codePage == CP_ACP && GetACP() == CP_UTF8); }

bool IsUtf8Continuation(char byte) noexcept { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

bool IsHighSurrogate(char16_t unit) noexcept { return unit >= 0xD800 && unit <= 0xDBFF; }

// Without this flag the conversion writes a look-alike for a character the
// code page lacks (O for an omega, "=" for a fullwidth equals sign), which
// can change what a line means. UTF-8 takes no flags, and holds every
// character anyway.
DWORD NoBestFit(UINT codePage) noexcept { return IsUtf8(codePage) ? 0 : WC_NO_BEST_FIT_CHARS; }

// The end of the piece that starts at `start` and holds at most `limit`
// bytes, moved back to a character boundary.
size_t PieceEnd(UINT codePage, bool utf8, std::string_view bytes, size_t start, size_t limit)
{
    size_t end = start + std::min(limit, bytes.size() - start);
    if (end == bytes.size())
        return end;
    if (utf8) {
        size_t boundary = end;
        while (boundary > start && IsUtf8Continuation(bytes[boundary]))
            --boundary;
        if (boundary > start)
            return boundary;
        // A limit shorter than the sequence: take the whole sequence.
        while (end < bytes.size() && IsUtf8Continuation(bytes[end]))
            ++end;
        return end;
    }
    // A trail byte can take the value of a lead byte, so a byte is known to
    // be a lead byte only from the bytes before it: `start` is a character
    // boundary, and so is the place right after any byte outside the lead
    // range. In the run of lead-range bytes that ends the piece, characters
    // start at its first byte and at every second byte after it.
    size_t run = 0;
    while (end - run > start && IsDBCSLeadByteEx(codePage, static_cast<BYTE>(bytes[end - run - 1])))
        ++run;
    if (run % 2 == 0)
        return end;
    if (end - 1 > start)
        return end - 1;
    return std::min(start + 2, bytes.size());
}

size_t PieceEnd(std::u16string_view text, size_t start, size_t limit)
{
    size_t end = start + std::min(limit, text.size() - start);
    if (end == text.size() || !IsHighSurrogate(text[end - 1]))
        return end;
    return end - 1 > start ? end - 1 : end + 1;
}

}  // namespace

bool AppendCodePageAsUtf16(UINT codePage, std::string_view bytes, std::u16string& out, size_t pieceLimit)
{
    const bool utf8 = IsUtf8(codePage);
    for (size_t start = 0; start < bytes.size();) {
        const size_t end = PieceEnd(codePage, utf8, bytes, start, pieceLimit);
        const int length = static_cast<int>(end - start);
        // No code page makes more UTF-16 units of a piece than it has bytes.
        const size_t written = out.size();
        out.resize(written + static_cast<size_t>(length));
        // Bytes that the code page cannot decode fail the conversion instead
        // of becoming U+FFFD or the default character: text that came in so
        // would go out so, and a save would rewrite lines nobody changed.
        const int units = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data() + start, length,
                                              reinterpret_cast<wchar_t*>(&out[written]), length);
        if (units <= 0)
            return false;
        out.resize(written + static_cast<size_t>(units));
        start = end;
    }
    return true;
}

bool AppendUtf16AsCodePage(UINT codePage, std::u16string_view text, std::string& out, size_t pieceLimit)
{
    for (size_t start = 0; start < text.size();) {
        const size_t end = PieceEnd(text, start, pieceLimit);
        const auto* wide = reinterpret_cast<const wchar_t*>(text.data() + start);
        const int length = static_cast<int>(end - start);
        const DWORD flags = NoBestFit(codePage);
        const int bytes = WideCharToMultiByte(codePage, flags, wide, length, nullptr, 0, nullptr, nullptr);
        if (bytes <= 0)
            return false;
        const size_t written = out.size();
        out.resize(written + static_cast<size_t>(bytes));
        if (WideCharToMultiByte(codePage, flags, wide, length, &out[written], bytes, nullptr, nullptr) != bytes)
            return false;
        start = end;
    }
    return true;
}

void SetAnsiCodePageForTesting(UINT codePage) noexcept { ansiCodePage = codePage; }

bool AppendAnsiAsUtf16(std::string_view ansi, std::u16string& out)
{
    return AppendCodePageAsUtf16(ansiCodePage, ansi, out);
}

bool AppendUtf16AsAnsi(std::u16string_view text, std::string& out)
{
    return AppendUtf16AsCodePage(ansiCodePage, text, out);
}

bool RepresentableInAnsi(std::u16string_view text)
{
    // Names are short; a text too long for one call is not one.
    if (text.size() > kConversionPieceLimit)
        return false;
    if (text.empty())
        return true;
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    // UTF-8 holds every character; only a lone surrogate has no form.
    if (IsUtf8(ansiCodePage))
        return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, length, nullptr, 0, nullptr, nullptr) > 0;
    BOOL usedDefault = FALSE;
    return WideCharToMultiByte(ansiCodePage, WC_NO_BEST_FIT_CHARS, wide, length, nullptr, 0, nullptr, &usedDefault) >
               0 &&
           !usedDefault;
}

}  // namespace platform
