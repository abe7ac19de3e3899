#pragma once
// The document's index from names, compared without regard to case, to the
// positions of the named objects in the list that owns them.
//
// The index keeps no copy of the names: a name is lower-cased unit by unit
// while it is hashed or compared, and the name of an entry is read from the
// list through the caller's `nameAt(position)`. A slot costs eight bytes, so
// that a document stays a small multiple of its file, and the table doubles
// as it fills, so that a lookup stays one probe or two however many names a
// section holds.
#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "platform/Text.h"

namespace document {

// One unit as index keys hold it: lower-cased by the platform's fixed rules,
// never by the locale the process happens to have, so that hashes taken at
// one time still match names looked up at another.
constexpr char16_t Fold(char16_t unit) noexcept { return platform::ToLower(unit); }

inline bool FoldedEqual(std::u16string_view left, std::u16string_view right) noexcept
{
    if (left.size() != right.size())
        return false;
    for (size_t i = 0; i < left.size(); ++i) {
        if (left[i] != right[i] && Fold(left[i]) != Fold(right[i]))
            return false;
    }
    return true;
}

// FNV-1a over the lower-cased units taken two at a time, folded to 32 bits.
inline uint32_t FoldedHash(std::u16string_view name) noexcept
{
    uint64_t hash = 14695981039346656037u;
    size_t i = 0;
    for (; i + 2 <= name.size(); i += 2) {
        hash ^= Fold(name[i]) | static_cast<uint32_t>(Fold(name[i + 1])) << 16;
        hash *= 1099511628211u;
    }
    if (i < name.size()) {
        hash ^= Fold(name[i]);
        hash *= 1099511628211u;
    }
    return static_cast<uint32_t>(hash ^ (hash >> 32));
}

class NameIndex {
public:
    static constexpr uint32_t kAbsent = UINT32_MAX;

    // The position entered under `name`, or kAbsent.
    template <class NameAt>
    uint32_t Find(std::u16string_view name, const NameAt& nameAt) const noexcept
    {
        if (slots_.empty())
            return kAbsent;
        const uint32_t hash = FoldedHash(name);
        for (size_t i = Home(hash);; i = (i + 1) & Mask()) {
            const Slot& slot = slots_[i];
            if (slot.position == kAbsent)
                return kAbsent;
            if (slot.hash == hash && FoldedEqual(nameAt(slot.position), name))
                return slot.position;
        }
    }

    // Enters `position` under `name`; an earlier entry under the same name
    // is replaced, so the last of several equal names wins.
    template <class NameAt>
    void Enter(std::u16string_view name, size_t position, const NameAt& nameAt)
    {
        if (position >= kAbsent)
            throw std::length_error("more names than an index can hold");
        if ((used_ + 1) * 4 > slots_.size() * 3)
            Grow();
        const uint32_t hash = FoldedHash(name);
        for (size_t i = Home(hash);; i = (i + 1) & Mask()) {
            Slot& slot = slots_[i];
            if (slot.position == kAbsent) {
                slot = Slot{hash, static_cast<uint32_t>(position)};
                ++used_;
                return;
            }
            if (slot.hash == hash && FoldedEqual(nameAt(slot.position), name)) {
                slot.position = static_cast<uint32_t>(position);
                return;
            }
        }
    }

    void Clear() noexcept
    {
        slots_ = std::vector<Slot>();
        used_ = 0;
        shift_ = 32;
    }

private:
    struct Slot {
        uint32_t hash;
        uint32_t position;
    };

    size_t Mask() const noexcept { return slots_.size() - 1; }
    size_t Home(uint32_t hash) const noexcept { return HomeFor(hash, shift_); }
    // Fibonacci hashing: the top bits of the product pick one of 2^(32 - shift) slots.
    static size_t HomeFor(uint32_t hash, unsigned shift) noexcept
    {
        return static_cast<uint32_t>(hash * 2654435769u) >> shift;
    }
    void Grow();

    std::vector<Slot> slots_;
    size_t used_ = 0;
    unsigned shift_ = 32;
};

}  // namespace document
