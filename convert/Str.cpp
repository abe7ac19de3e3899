#include "convert/Str.h"

#include <stdexcept>

namespace {

bool IsDigit(char16_t unit) noexcept { return unit >= u'0' && unit <= u'9'; }

// Appends `number` in decimal, padded with zeros after the sign to `width`.
void AppendNumber(std::int32_t number, std::size_t width, std::u16string& out)
{
    // The magnitude in 64 bits, so that the lowest 32-bit number has one too.
    std::int64_t magnitude = number;
    const bool negative = magnitude < 0;
    if (negative)
        magnitude = -magnitude;
    char16_t digits[20];
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<char16_t>(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);

    const std::size_t length = count + (negative ? 1 : 0);
    const std::size_t padding = width > length ? width - length : 0;
    if (negative)
        out.push_back(u'-');
    out.append(padding, u'0');
    while (count > 0)
        out.push_back(digits[--count]);
}

const FormatArgument& Next(const FormatArgument* arguments, std::size_t count, std::size_t& used)
{
    if (used == count)
        throw std::invalid_argument("Str::Format: fewer arguments than conversions");
    return arguments[used++];
}

}  // namespace

void Str::FormatList(std::u16string_view format, const FormatArgument* arguments, std::size_t count)
{
    std::u16string result;
    result.reserve(format.size() + 16);
    std::size_t used = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != u'%') {
            result.push_back(format[i]);
            continue;
        }
        ++i;
        const bool zeroPadded = i < format.size() && format[i] == u'0';
        if (zeroPadded)
            ++i;
        std::size_t width = 0;
        for (; i < format.size() && IsDigit(format[i]); ++i)
            width = width * 10 + static_cast<std::size_t>(format[i] - u'0');
        const char16_t conversion = i < format.size() ? format[i] : u'\0';
        const bool plain = !zeroPadded && width == 0;

        // A width is taken only with zero padding: %02d, %04d.
        if (conversion == u'd' && (plain || zeroPadded)) {
            const FormatArgument& argument = Next(arguments, count, used);
            if (!argument.isNumber())
                throw std::invalid_argument("Str::Format: %d needs a number");
            AppendNumber(argument.number(), width, result);
        } else if (conversion == u's' && plain) {
            const FormatArgument& argument = Next(arguments, count, used);
            if (argument.isNumber())
                throw std::invalid_argument("Str::Format: %s needs a text");
            result.append(argument.text());
        } else {
            throw std::invalid_argument("Str::Format: unsupported conversion");
        }
    }
    if (used != count)
        throw std::invalid_argument("Str::Format: more arguments than conversions");
    text_.swap(result);
}
