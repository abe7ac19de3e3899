#pragma once
// A captured registration (CapturedRegistration.h) as a WiX include: one
// RegistryValue element below HKEY_CLASSES_ROOT per value, for the component
// that installs the DLL, so the installer writes the entries itself and
// removes them with the component.
//
// Paths are the one thing that differs between the build and an install: a
// value naming the built DLL becomes [#fileId] (the installed file's full
// path) and a value naming the DLL's folder becomes [folderProperty] (the
// installed folder; Windows Installer gives folders a trailing backslash).
// Any other mention of the build folder is refused, so no build path can
// reach a package; so is anything a RegistryValue cannot carry exactly: a
// value that is not a string, an empty string, a text starting with "#", or
// a key without values or subkeys.
#include <string>
#include <vector>

#include "tools/regexport/CapturedRegistration.h"

struct InstalledPaths {
    std::wstring fileId;          // the DLL's File element's Id in the package
    std::wstring folderProperty;  // the Directory Id it is installed to
};

// The include's text in UTF-8; throws std::runtime_error for an entry it
// cannot express.
std::string WixRegistryInclude(const CapturedRegistration& registration, const InstalledPaths& paths);
