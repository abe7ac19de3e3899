#include "document/NameIndex.h"

namespace document {

void NameIndex::Grow()
{
    // The first table has 2^3 slots; every later one twice as many as before.
    const unsigned shift = slots_.empty() ? 32 - 3 : shift_ - 1;
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
