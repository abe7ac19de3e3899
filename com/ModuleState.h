#pragma once
// The state a COM operation of this module runs under: the module's instance
// handle, for anything that loads the module's own resources. Each operation
// that the host calls selects this module's state for its duration and puts
// the caller's back on every return, so state selected by another module in
// the same thread never leaks into ours, or ours into it.
#include <windows.h>

struct ModuleState {
    HINSTANCE instance = nullptr;
};

// This module's own state; its instance handle is recorded at process attach.
ModuleState& ThisModuleState() noexcept;

class ModuleStateScope {
public:
    ModuleStateScope() noexcept;
    ModuleStateScope(const ModuleStateScope&) = delete;
    ModuleStateScope& operator=(const ModuleStateScope&) = delete;
    ~ModuleStateScope();

private:
    const ModuleState* previous_;
};
