// regexport: writes the registry entries that a COM server's DllRegisterServer
// makes as a WiX include, so that an installer package registers exactly what
// regsvr32 registers without running the DLL's self-registration.
//
//   regexport DLL FILE-ID FOLDER-ID OUTPUT.wxi
//
// DLL is the built server; FILE-ID and FOLDER-ID are the Ids its File and
// Directory elements have in the package. Exit status 0 on success, 1 on a
// failure (named on standard error), 2 on a usage error.
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>

#include "tools/regexport/CapturedRegistration.h"
#include "tools/regexport/WixRegistry.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc != 5) {
        std::cerr << "usage: regexport DLL FILE-ID FOLDER-ID OUTPUT.wxi\n";
        return 2;
    }
    try {
        const std::string include = WixRegistryInclude(CaptureRegistration(argv[1]), {argv[2], argv[3]});
        std::ofstream output(std::filesystem::path(argv[4]), std::ios::binary | std::ios::trunc);
        output << include;
        output.close();
        if (!output)
            throw std::runtime_error("cannot write the include file");
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "regexport: " << error.what() << '\n';
        return 1;
    }
}
