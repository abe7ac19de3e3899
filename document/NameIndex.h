#pragma once
// The document's index from names, compared without regard to case, to the
// positions of the named objects in the list that owns them.
//
// The index keeps no copy of the names: a name is lower-cased unit by unit
// while it is hashed or compared, and the name of an entry is read from the
// list through the caller's `nameAt(position)`. A slot costs eight bytes, so
// that a document stays a small multiple of its file, and the table is kept
// at most three quarters full, so that a lookup stays one probe or two
// however many names a section holds.
#include <cstdint>
#include <cstring>
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

// Four units, one to each 16 bits of `word`, each through Fold.
uint64_t FoldedUnits(uint64_t word) noexcept;

// Four units as index keys hold them, one to each 16 bits of `word`: ASCII
// letters lower-cased all four at once, other units one by one.
inline uint64_t FoldedWord(uint64_t word) noexcept
{
    constexpr uint64_t kLanes = 0x0001000100010001u;
    if ((word & (0xFF80 * kLanes)) != 0)
        return FoldedUnits(word);
    // In every lane, bit 7 of the first sum is set from 'A' on, and of the
    // second from the unit after 'Z' on.
    const uint64_t upper = (word + 0x3F * kLanes) & ~(word + 0x25 * kLanes) & (0x80 * kLanes);
    return word | (upper >> 2);
}

// A multiplicative hash of the lower-cased units taken four at a time, and of
// the length, folded to 32 bits.
inline uint32_t FoldedHash(std::u16string_view name) noexcept
{
    constexpr uint64_t kPrime = 1099511628211u;
    uint64_t hash = 14695981039346656037u ^ name.size();
    size_t i = 0;
    for (; i + 4 <= name.size(); i += 4) {
        uint64_t word;
        std::memcpy(&word, name.data() + i, sizeof word);
        hash = (hash ^ FoldedWord(word)) * kPrime;
    }
    if (i < name.size()) {
        uint64_t word = 0;
        std::memcpy(&word, name.data() + i, (name.size() - i) * sizeof(char16_t));
        hash = (hash ^ FoldedWord(word)) * kPrime;
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
        EnterHashed(FoldedHash(name), name, position, nameAt);
    }

    // Enter for a name whose FoldedHash the caller has.
    template <class NameAt>
    void EnterHashed(uint32_t hash, std::u16string_view name, size_t position, const NameAt& nameAt)
    {
        if (position >= kAbsent)
            throw std::length_error("more names than an index can hold");
        if ((used_ + 1) * 4 > slots_.size() * 3)
            Grow(used_ + 1);
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

    // Makes room for `count` names in all, so that entering them does not
    // grow the table again.
    void Reserve(size_t count)
    {
        if (count * 4 > slots_.size() * 3)
            Grow(count);
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
    // Rebuilds the table with room for `count` names.
    void Grow(size_t count);

    std::vector<Slot> slots_;
    size_t used_ = 0;
    unsigned shift_ = 32;
};

}  // namespace document
