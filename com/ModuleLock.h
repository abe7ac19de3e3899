#pragma once
// The module lock count: while it is above zero, DllCanUnloadNow says the
// module is still in use. Every object of either class holds one lock for its
// whole life, a class object held outside the class table holds one, and so
// does every outstanding LockServer(TRUE).
#include <windows.h>

void LockModule() noexcept;
void UnlockModule() noexcept;
LONG ModuleLockCount() noexcept;

// One module lock held for the life of the owning object.
class ModuleLockHold {
public:
    ModuleLockHold() noexcept { LockModule(); }
    ModuleLockHold(const ModuleLockHold&) = delete;
    ModuleLockHold& operator=(const ModuleLockHold&) = delete;
    ~ModuleLockHold() { UnlockModule(); }
};
