#pragma once
// RAII owner of a BSTR.
#include <windows.h>
#include <oleauto.h>

#include <string_view>
#include <utility>

#include "com/ComError.h"

class UniqueBstr {
public:
    UniqueBstr() noexcept = default;
    explicit UniqueBstr(BSTR owned) noexcept : value_(owned) {}
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;
    UniqueBstr(UniqueBstr&& other) noexcept : value_(other.release()) {}
    UniqueBstr& operator=(UniqueBstr&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    ~UniqueBstr() { SysFreeString(value_); }

    // A new BSTR holding exactly the given units; throws E_OUTOFMEMORY.
    static UniqueBstr Copy(std::u16string_view text)
    {
        return UniqueBstr(ThrowIfNull(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                                        static_cast<UINT>(text.size()))));
    }

    BSTR get() const noexcept { return value_; }
    // For out-parameters: frees what is held, then hands out the slot.
    BSTR* put() noexcept
    {
        reset();
        return &value_;
    }
    BSTR release() noexcept { return std::exchange(value_, nullptr); }
    void reset(BSTR owned = nullptr) noexcept { SysFreeString(std::exchange(value_, owned)); }

private:
    BSTR value_ = nullptr;
};
