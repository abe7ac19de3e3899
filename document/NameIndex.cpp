#include "document/NameIndex.h"

namespace document {

uint64_t FoldedUnits(uint64_t word) noexcept
{
    uint64_t folded = 0;
    for (int lane = 0; lane < 64; lane += 16)
        folded |= static_cast<uint64_t>(Fold(static_cast<char16_t>(word >> lane))) << lane;
    return folded;
}

void NameIndex::Grow(size_t count)
{
    // The smallest table of at least 2^3 slots that is at most three quarters
    // full with `count` names.
    unsigned shift = 32 - 3;
    while (count * 4 > (size_t{1} << (32 - shift)) * 3) {
        if (shift == 1)
            throw std::length_error("more names than an index can hold");
        --shift;
    }
    std::vector<Slot> grown(size_t{1} << (32 - shift), Slot{0, kAbsent});
    const size_t mask = grown.size() - 1;
    for (const Slot& slot : slots_) {
        if (slot.position == kAbsent)
            continue;
        size_t i = HomeFor(slot.hash, shift);
        while (grown[i].position != kAbsent)
            i = (i + 1) & mask;
        grown[i] = slot;
    }
    slots_.swap(grown);
    shift_ = shift;
}

}  // namespace document
