#pragma once
// Registrar scripts: the text format in which the module's registration
// resources describe registry keys and values. This parses one script into
// its root blocks; module/Registrar.h applies them.
//
//   HKCR                                   root key: HKCR, HKCU, HKLM, HKU, HKCC
//   {                                      or their HKEY_... long names
//       NoRemove CLSID                     flags: NoRemove, ForceRemove, Delete
//       {
//           ForceRemove {GUID} = s 'Text'  a key with its default value
//           {
//               val Name = s 'it''s'       a named value; '' is one quote
//           }
//       }
//   }
//
// Tokens are separated by white space; a quoted token may hold any text and
// is never read as a keyword. Before parsing, each %NAME% is replaced by the
// text given for NAME (names compare without regard to case) and %% stands
// for one percent sign. Only string values (type s) exist. A script that
// breaks any of these rules is rejected as a whole with DISP_E_EXCEPTION.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct RegistrarReplacement {
    std::u16string name;
    std::u16string text;
};
using RegistrarReplacements = std::vector<RegistrarReplacement>;

struct RegistrarEntry {
    enum class Kind { Key, Value };
    enum class Flag { None, NoRemove, ForceRemove, Delete };

    Kind kind = Kind::Key;
    Flag flag = Flag::None;
    std::u16string name;
    // A value's text, or the default value a key is given.
    std::optional<std::u16string> text;
    // The key's block; empty for values and for keys without one.
    std::vector<RegistrarEntry> entries;
};

struct RegistrarRootBlock {
    HKEY root = nullptr;
    std::vector<RegistrarEntry> entries;
};

// The script's root blocks in order; throws HResultError(DISP_E_EXCEPTION)
// when the script is malformed or names a variable that has no replacement.
std::vector<RegistrarRootBlock> ParseRegistrarScript(std::u16string_view script,
                                                     const RegistrarReplacements& replacements);
