#include "com/ModuleLock.h"

#include <atomic>

namespace {
std::atomic<LONG> moduleLockCount{0};
}

void LockModule() noexcept { ++moduleLockCount; }
void UnlockModule() noexcept { --moduleLockCount; }
LONG ModuleLockCount() noexcept { return moduleLockCount.load(std::memory_order_relaxed); }
