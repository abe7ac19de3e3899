#pragma once
// RAII owner of an open registry key. Predefined root keys are never put in
// one: they are not ours to close.
#include <windows.h>

#include <utility>

class UniqueHKey {
public:
    UniqueHKey() noexcept = default;
    UniqueHKey(const UniqueHKey&) = delete;
    UniqueHKey& operator=(const UniqueHKey&) = delete;
    UniqueHKey(UniqueHKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
    UniqueHKey& operator=(UniqueHKey&& other) noexcept
    {
        reset(std::exchange(other.key_, nullptr));
        return *this;
    }
    ~UniqueHKey() { reset(); }

    HKEY get() const noexcept { return key_; }
    // For out-parameters: closes what is held, then hands out the slot.
    HKEY* put() noexcept
    {
        reset();
        return &key_;
    }
    void reset(HKEY owned = nullptr) noexcept
    {
        if (HKEY previous = std::exchange(key_, owned))
            RegCloseKey(previous);
    }

private:
    HKEY key_ = nullptr;
};
