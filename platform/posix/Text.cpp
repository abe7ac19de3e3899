// Windows-1252 stands for the system ANSI code page where there is none.
#include "platform/Text.h"

#include <array>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform {
namespace {

// Bytes 0x80 to 0x9F; the rest of the upper half maps to the same code point.
constexpr std::array<char16_t, 32> kUpperControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char AnsiFor(char16_t unit) noexcept
{
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF))
        return static_cast<char>(unit);
    for (size_t i = 0; i < kUpperControls.size(); ++i) {
        if (kUpperControls[i] == unit)
            return static_cast<char>(0x80 + i);
    }
    return '?';
}

}  // namespace

bool AppendAnsiAsUtf16(std::string_view ansi, std::u16string& out)
{
    const size_t start = out.size();
    out.resize(start + ansi.size());
    char16_t* target = &out[start];
    const char* next = ansi.data();
    const char* const end = next + ansi.size();
    // Every byte outside 0x80 to 0x9F is its own code point, so sixteen bytes
    // at a time are widened as they are where the processor can, and only
    // those few bytes are then looked up.
#if defined(__SSE2__)
    for (; end - next >= 16; next += 16, target += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(next));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target), _mm_unpacklo_epi8(bytes, _mm_setzero_si128()));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target + 8), _mm_unpackhi_epi8(bytes, _mm_setzero_si128()));
        // Bytes 0x80 to 0x9F become 0x00 to 0x1F here, every other byte more.
        const __m128i shifted = _mm_xor_si128(bytes, _mm_set1_epi8(static_cast<char>(0x80)));
        unsigned controls = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(shifted, _mm_set1_epi8(0x1F)), shifted)));
        for (; controls != 0; controls &= controls - 1) {
            const int at = __builtin_ctz(controls);
            target[at] = kUpperControls[static_cast<unsigned char>(next[at]) - 0x80];
        }
    }
#endif
    while (next != end) {
        const auto value = static_cast<unsigned char>(*next++);
        *target++ = (value >= 0x80 && value < 0xA0) ? kUpperControls[value - 0x80] : value;
    }
    return true;
}

bool RepresentableInAnsi(std::u16string_view text)
{
    for (const char16_t unit : text) {
        if (unit != u'?' && AnsiFor(unit) == '?')
            return false;
    }
    return true;
}

bool AppendUtf16AsAnsi(std::u16string_view text, std::string& out)
{
    // One byte per unit: sized once, then written without a check per byte.
    const size_t start = out.size();
    out.resize(start + text.size());
    char* target = &out[start];
    for (const char16_t unit : text)
        *target++ = AnsiFor(unit);
    return true;
}

}  // namespace platform
