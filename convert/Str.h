#pragma once
// The small UTF-16 text class that receives formatted text, with printf-style
// formatting. Portable: includes nothing of Windows.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// One argument of Str::Format: a 32-bit signed integer or UTF-16 text.
class FormatArgument {
public:
    FormatArgument(std::int32_t number) noexcept : isNumber_(true), number_(number) {}
    FormatArgument(std::u16string_view text) noexcept : text_(text) {}
    // A null text counts as empty.
    FormatArgument(const char16_t* text) noexcept : text_(text ? std::u16string_view(text) : std::u16string_view()) {}

    bool isNumber() const noexcept { return isNumber_; }
    std::int32_t number() const noexcept { return number_; }
    std::u16string_view text() const noexcept { return text_; }

private:
    bool isNumber_ = false;
    std::int32_t number_ = 0;
    std::u16string_view text_;
};

class Str {
public:
    Str() = default;
    // A null text counts as empty.
    explicit Str(const char16_t* text) : text_(text ? text : u"") {}

    // Replaces the whole content with `format` applied to `arguments`, in
    // order. The conversions are those of printf:
    //   %s     the text of a text argument;
    //   %d     a number in decimal, with a minus sign when negative;
    //   %0Nd   the same, padded with zeros after the sign to at least N
    //          characters, the sign counting as one of them (%04d of -1 is -001).
    // Throws std::invalid_argument when the conversions and the arguments do
    // not match, keeping the old content; memory shortage is std::bad_alloc.
    template <class... Arguments>
    void Format(std::u16string_view format, const Arguments&... arguments)
    {
        const std::array<FormatArgument, sizeof...(Arguments)> list{FormatArgument(arguments)...};
        FormatList(format, list.data(), list.size());
    }

    // The content, NUL-terminated.
    const char16_t* c_str() const noexcept { return text_.c_str(); }
    const std::u16string& text() const noexcept { return text_; }

private:
    void FormatList(std::u16string_view format, const FormatArgument* arguments, std::size_t count);

    std::u16string text_;
};
