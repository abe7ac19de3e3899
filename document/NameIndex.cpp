#include "document/NameIndex.h"

#include <chrono>

#include "platform/Random.h"

namespace document {
namespace {

NameHashKey DrawnKey() noexcept
{
    NameHashKey key;
    if (platform::RandomBytes(&key, sizeof key))
        return key;
    // The system's source has not been seen to fail; where it does, the
    // clock and where the process's data lie still differ from one process
    // to the next.
    const auto now = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    return NameHashKey{now * 0x9E3779B97F4A7C15u, reinterpret_cast<uintptr_t>(&key) ^ now};
}

NameHashKey& KeyInUse() noexcept
{
    static NameHashKey key = DrawnKey();
    return key;
}

}  // namespace

const NameHashKey& ProcessNameHashKey() noexcept { return KeyInUse(); }

void SetNameHashKeyForTesting(const NameHashKey& key) noexcept { KeyInUse() = key; }

uint64_t FoldedUnits(uint64_t word) noexcept
{
    uint64_t folded = 0;
    for (int lane = 0; lane < 64; lane += 16)
        folded |= static_cast<uint64_t>(Fold(static_cast<char16_t>(word >> lane))) << lane;
    return folded;
}

size_t NameIndex::LookupProbes() const noexcept
{
    size_t probes = 0;
    for (size_t i = 0; i < slots_.size(); ++i) {
        if (slots_[i].position != kAbsent)
            probes += ((i - Home(slots_[i].hash)) & Mask()) + 1;
    }
    return probes;
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
