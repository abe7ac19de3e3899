#pragma once
// The one owner template for resources that a handle or a small structure
// stands for, on the model of WIL's unique_any: a value of some type, a value
// that means "nothing held", and a function that frees a held value. The
// traits give them:
//
//   struct Traits {
//       using type = ...;                        // the handle or structure
//       static type invalid() noexcept;          // the value that holds nothing
//       static void close(type value) noexcept;  // frees a held value
//       // Optional, for a type that == cannot compare (a structure):
//       static bool valid(const type& value) noexcept;
//   };
//
// A handle (a pointer or a number) is handed out by value. A structure that
// owns what it points to (a VARIANT) is held in place and handed out by its
// address, so that the platform's functions work on it where it lies; moving
// it copies its bytes, which is all it takes to move such a structure.
//
// This header includes nothing of Windows.
#include <type_traits>
#include <utility>

template <class Traits>
class UniqueAny {
public:
    using type = typename Traits::type;

    UniqueAny() noexcept = default;
    explicit UniqueAny(type owned) noexcept : value_(owned) {}
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    ~UniqueAny() { reset(); }

    // A handle: the value held.
    template <class T = type, std::enable_if_t<std::is_scalar_v<T>, int> = 0>
    T get() const noexcept
    {
        return value_;
    }
    // A structure: where it lies.
    template <class T = type, std::enable_if_t<!std::is_scalar_v<T>, int> = 0>
    T* get() noexcept
    {
        return &value_;
    }
    template <class T = type, std::enable_if_t<!std::is_scalar_v<T>, int> = 0>
    const T* get() const noexcept
    {
        return &value_;
    }
    template <class T = type, std::enable_if_t<!std::is_scalar_v<T>, int> = 0>
    T* operator->() noexcept
    {
        return &value_;
    }
    template <class T = type, std::enable_if_t<!std::is_scalar_v<T>, int> = 0>
    const T* operator->() const noexcept
    {
        return &value_;
    }

    bool valid() const noexcept { return Holds(value_); }
    explicit operator bool() const noexcept { return valid(); }

    // Frees the value held, if any, and holds `owned` instead.
    void reset(type owned = Traits::invalid()) noexcept
    {
        const type previous = std::exchange(value_, owned);
        if (Holds(previous))
            Traits::close(previous);
    }
    // Gives up the value without freeing it, and holds nothing.
    type release() noexcept { return std::exchange(value_, Traits::invalid()); }
    // For out-parameters: frees the value held, if any, then hands out the
    // slot, holding nothing, for the callee to fill. What the callee puts
    // there is then owned, whether or not the call reports success.
    type* put() noexcept
    {
        reset();
        return &value_;
    }

private:
    template <class T, class = void>
    struct HasValidity : std::false_type {};
    template <class T>
    struct HasValidity<T, std::void_t<decltype(T::valid(std::declval<const type&>()))>> : std::true_type {};

    static bool Holds(const type& value) noexcept
    {
        if constexpr (HasValidity<Traits>::value)
            return Traits::valid(value);
        else
            return value != Traits::invalid();
    }

    type value_ = Traits::invalid();
};
