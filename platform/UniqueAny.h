#pragma once
// One owner template for handle-like resources, on the model of WIL's
// unique_any: a value of some handle type, an invalid value that means
// "nothing held", and a function that frees a held value. The traits give
// the three:
//
//   struct Traits {
//       using type = ...;                        // the handle type
//       static type invalid() noexcept;          // the value that holds nothing
//       static void close(type value) noexcept;  // frees a held value
//   };
//
// This header includes nothing of Windows.
#include <utility>

template <class Traits>
class UniqueAny {
public:
    using pointer = typename Traits::type;

    UniqueAny() noexcept = default;
    explicit UniqueAny(pointer owned) noexcept : value_(owned) {}
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    ~UniqueAny() { reset(); }

    pointer get() const noexcept { return value_; }
    bool valid() const noexcept { return value_ != Traits::invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    // Frees the value held, if any, and holds `owned` instead.
    void reset(pointer owned = Traits::invalid()) noexcept
    {
        const pointer previous = std::exchange(value_, owned);
        if (previous != Traits::invalid())
            Traits::close(previous);
    }
    // Gives up the value without freeing it.
    pointer release() noexcept { return std::exchange(value_, Traits::invalid()); }
    // For out-parameters: frees the value held, if any, then hands out the
    // empty slot to be filled.
    pointer* put() noexcept
    {
        reset();
        return &value_;
    }

private:
    pointer value_ = Traits::invalid();
};
