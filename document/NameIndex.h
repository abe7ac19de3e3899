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
//
// Files come from anyone. With a hash that everyone can compute, a file of
// names that all land in one run of slots makes every entry probe past all
// the ones before it, and a load of a few megabytes takes minutes. The hash
// is therefore keyed with a secret that each process draws from the
// system's random source, so that no file can be made to collide.
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

// The secret key of the names' hash.
struct NameHashKey {
    uint64_t k0;
    uint64_t k1;
};

// The key of this process, drawn from the system's random source at its
// first use.
const NameHashKey& ProcessNameHashKey() noexcept;

// Makes `key` the process's key, for tests and benchmarks that craft names
// which collide under a key they know. Only while no index holds names.
void SetNameHashKeyForTesting(const NameHashKey& key) noexcept;

// SipHash-1-3, a keyed hash made against flooding: without the key nobody
// can tell which names collide, however many hashes of other names they see.
class SipHash13 {
public:
    explicit SipHash13(const NameHashKey& key) noexcept
        : v0_(key.k0 ^ 0x736f6d6570736575u),
          v1_(key.k1 ^ 0x646f72616e646f6du),
          v2_(key.k0 ^ 0x6c7967656e657261u),
          v3_(key.k1 ^ 0x7465646279746573u)
    {
    }

    void Add(uint64_t word) noexcept
    {
        v3_ ^= word;
        Round();
        v0_ ^= word;
    }

    uint64_t Finish() noexcept
    {
        v2_ ^= 0xFF;
        Round();
        Round();
        Round();
        return v0_ ^ v1_ ^ v2_ ^ v3_;
    }

private:
    static constexpr uint64_t Rotate(uint64_t word, int bits) noexcept { return (word << bits) | (word >> (64 - bits)); }

    void Round() noexcept
    {
        v0_ += v1_;
        v1_ = Rotate(v1_, 13) ^ v0_;
        v0_ = Rotate(v0_, 32);
        v2_ += v3_;
        v3_ = Rotate(v3_, 16) ^ v2_;
        v0_ += v3_;
        v3_ = Rotate(v3_, 21) ^ v0_;
        v2_ += v1_;
        v1_ = Rotate(v1_, 17) ^ v2_;
        v2_ = Rotate(v2_, 32);
    }

    uint64_t v0_, v1_, v2_, v3_;
};

// The keyed hash of the lower-cased units, taken four at a time; the last
// word holds the units left over and, in its top 16 bits, the low 16 bits of
// the count of units, as SipHash's last word holds the length. Folded to 32
// bits.
inline uint32_t FoldedHash(std::u16string_view name, const NameHashKey& key) noexcept
{
    SipHash13 hash(key);
    size_t i = 0;
    for (; i + 4 <= name.size(); i += 4) {
        uint64_t word;
        std::memcpy(&word, name.data() + i, sizeof word);
        hash.Add(FoldedWord(word));
    }
    uint64_t last = 0;
    if (i < name.size())
        std::memcpy(&last, name.data() + i, (name.size() - i) * sizeof(char16_t));
    hash.Add(FoldedWord(last) | static_cast<uint64_t>(name.size()) << 48);
    const uint64_t full = hash.Finish();
    return static_cast<uint32_t>(full ^ (full >> 32));
}

inline uint32_t FoldedHash(std::u16string_view name) noexcept { return FoldedHash(name, ProcessNameHashKey()); }

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
            Grow(used_ + 1);
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

    // Makes room for `count` names in all, so that entering them does not
    // grow the table again.
    void Reserve(size_t count)
    {
        if (count * 4 > slots_.size() * 3)
            Grow(count);
    }

    // The slots that looking every name up once visits: about one per name
    // while names spread over the table, and up to half the square of
    // their number when they crowd into one run of slots. Tests and
    // benchmarks count with it.
    size_t LookupProbes() const noexcept;

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
    // The hash mixes every bit of the name into every bit of its own, so its
    // top bits pick one of 2^(32 - shift) slots.
    static size_t HomeFor(uint32_t hash, unsigned shift) noexcept { return hash >> shift; }
    // Rebuilds the table with room for `count` names.
    void Grow(size_t count);

    std::vector<Slot> slots_;
    size_t used_ = 0;
    unsigned shift_ = 32;
};

}  // namespace document
