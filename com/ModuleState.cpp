#include "com/ModuleState.h"

namespace {
ModuleState thisModule;
thread_local const ModuleState* selectedState = nullptr;
}

ModuleState& ThisModuleState() noexcept { return thisModule; }

ModuleStateScope::ModuleStateScope() noexcept : previous_(selectedState) { selectedState = &thisModule; }

ModuleStateScope::~ModuleStateScope() { selectedState = previous_; }
