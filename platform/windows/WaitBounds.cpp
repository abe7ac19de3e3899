#include "platform/windows/WaitBounds.h"

#include <algorithm>
#include <atomic>
#include <cstdint>

namespace platform {
namespace {

std::atomic<uint32_t> boundForTesting{0};

ULONGLONG BoundOf(WaitKind kind) noexcept
{
    const uint32_t testing = boundForTesting.load();
    if (testing != 0)
        return testing;
    return static_cast<ULONGLONG>((kind == WaitKind::Read ? kReadWaitBound : kCommitWaitBound).count());
}

}  // namespace

Deadline::Deadline(WaitKind kind) noexcept : end_(GetTickCount64() + BoundOf(kind)) {}

DWORD Deadline::Remaining() const noexcept
{
    const ULONGLONG now = GetTickCount64();
    return now >= end_ ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(end_ - now, INFINITE - 1));
}

void SetWaitBoundsForTesting(std::chrono::milliseconds bound) noexcept
{
    boundForTesting.store(static_cast<uint32_t>(bound.count()));
}

}  // namespace platform
