#pragma once
// Applies a registrar script (module/RegistrarScript.h) to the registry.
//
// Register mode creates missing keys and writes every listed value over the
// old one. A ForceRemove key is deleted with its whole subtree first, so a
// re-registration leaves no stale subkey; a Delete key is deleted and not
// written again.
//
// Unregister mode visits the keys depth first: each listed named value is
// deleted (a missing one is no error), and each key once its listed subkeys
// are done, unless it is NoRemove or still has subkeys that someone else put
// there. Keys that do not exist are skipped with everything below them.
//
// The script is parsed completely before anything is written, so a malformed
// one changes nothing. When writing a root block fails in register mode, the
// block is run again in unregister mode to take back what it wrote, and the
// failure is returned; blocks written before it stay.
#include <string_view>

#include "module/RegistrarScript.h"

enum class RegistrarMode { Register, Unregister };

HRESULT RunRegistrarScript(std::u16string_view script, const RegistrarReplacements& replacements,
                           RegistrarMode mode) noexcept;
