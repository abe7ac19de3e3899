# The release files: the Windows Installer package IniPlugin-<version>-x64.msi
# (wixl, from installer/IniPlugin.wxs), the zip IniPlugin-<version>-win64.zip
# and SHA256SUMS, all made by installer/release.py from the install step
# (cmake/Packaging.cmake), signed when a certificate is given.
#  - The package's registry entries come from regexport, which runs the built
#    DLL's DllRegisterServer with HKEY_CLASSES_ROOT redirected and writes what
#    it wrote as WiX registry elements (Registration.wxi). Cross-built,
#    regexport runs under Wine in the build's prefix, which is left with no
#    server running so that the tests start from a quiet prefix.
#  - The build makes them unsigned for the tests; `make package` (the target
#    iniplugin_release) makes them anew in release/, signed when the
#    environment names a certificate.
find_program(WIXL wixl)
if(NOT WIXL)
  message(FATAL_ERROR "wixl is missing: run scripts/install-deps, or configure with -DINIPLUGIN_MSI=OFF")
endif()
find_program(OSSLSIGNCODE osslsigncode)
if(NOT OSSLSIGNCODE)
  set(OSSLSIGNCODE "")
endif()
find_package(Python3 REQUIRED COMPONENTS Interpreter)

# How Windows Installer knows every version of the package as one product, so
# that a newer package upgrades an older one in place. It never changes.
set(INIPLUGIN_UPGRADE_CODE C13311BA-D5CF-41DC-A9B5-D807975E8602)

set(INSTALLER_WORK ${CMAKE_BINARY_DIR}/installer)
set(INSTALLER_REGISTRATION ${INSTALLER_WORK}/Registration.wxi)
set(INSTALLER_SETTINGS ${INSTALLER_WORK}/release.json)
set(INSTALLER_SCRIPT ${CMAKE_SOURCE_DIR}/installer/release.py)
file(CONFIGURE OUTPUT ${INSTALLER_SETTINGS} @ONLY CONTENT [[{
  "build": "@CMAKE_BINARY_DIR@",
  "version": "@PROJECT_VERSION@",
  "upgrade_code": "@INIPLUGIN_UPGRADE_CODE@",
  "epoch": @INIPLUGIN_SOURCE_DATE_EPOCH@,
  "wxs": "@CMAKE_SOURCE_DIR@/installer/IniPlugin.wxs",
  "registration": "@INSTALLER_REGISTRATION@",
  "cmake": "@CMAKE_COMMAND@",
  "wixl": "@WIXL@",
  "osslsigncode": "@OSSLSIGNCODE@"
}
]])

set(installer_registration_commands
  COMMAND regexport $<TARGET_FILE:IniPlugin> IniPluginDll INSTALLFOLDER ${INSTALLER_REGISTRATION})
if(CMAKE_CROSSCOMPILING)
  list(APPEND installer_registration_commands
    COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-shutdown.sh ${INIPLUGIN_WINE_PREFIX})
endif()
add_custom_command(
  OUTPUT ${INSTALLER_REGISTRATION}
  ${installer_registration_commands}
  DEPENDS IniPlugin regexport
  COMMENT "regexport: the installer's registry entries from DllRegisterServer")
add_custom_target(iniplugin_registration DEPENDS ${INSTALLER_REGISTRATION})

# Everything the release files are made of.
file(GLOB_RECURSE installer_examples CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/examples/*)
set(INSTALLER_INPUTS IniPlugin inihost ${INSTALLER_REGISTRATION} ${INSTALLER_SETTINGS} ${INSTALLER_SCRIPT}
  ${CMAKE_SOURCE_DIR}/installer/IniPlugin.wxs ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE
  ${CMAKE_SOURCE_DIR}/interfaces/IniPlugin.idl ${CMAKE_SOURCE_DIR}/interfaces/HostContract.idl
  ${IDL_OUT}/IniPlugin.h ${IDL_OUT}/IniPlugin_i.c ${IDL_OUT}/IniPlugin.tlb
  ${IDL_OUT}/HostContract.h ${IDL_OUT}/HostContract_i.c ${installer_examples})

# Unsigned release files of this build under the given version, built with
# everything else for the tests; the package is OUT_DIR/IniPlugin-<version>-x64.msi.
function(iniplugin_unsigned_release target out_dir version)
  add_custom_command(
    OUTPUT ${out_dir}/IniPlugin-${version}-x64.msi ${out_dir}/IniPlugin-${version}-win64.zip ${out_dir}/SHA256SUMS
    COMMAND ${Python3_EXECUTABLE} ${INSTALLER_SCRIPT} ${INSTALLER_SETTINGS} ${out_dir} --version ${version} --unsigned
    DEPENDS ${INSTALLER_INPUTS}
    COMMENT "release.py: ${out_dir}")
  add_custom_target(${target} ALL DEPENDS ${out_dir}/IniPlugin-${version}-x64.msi)
endfunction()

set(INIPLUGIN_MSI_VERSION ${PROJECT_VERSION})
set(INIPLUGIN_UNSIGNED_RELEASE ${INSTALLER_WORK}/unsigned)
set(INIPLUGIN_MSI_PACKAGE ${INIPLUGIN_UNSIGNED_RELEASE}/IniPlugin-${INIPLUGIN_MSI_VERSION}-x64.msi)
iniplugin_unsigned_release(iniplugin_msi ${INIPLUGIN_UNSIGNED_RELEASE} ${INIPLUGIN_MSI_VERSION})

# The same package with a higher version, which the tests upgrade to.
math(EXPR newer_patch "${PROJECT_VERSION_PATCH} + 1")
set(INIPLUGIN_NEWER_MSI_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${newer_patch})
set(INIPLUGIN_NEWER_MSI_PACKAGE ${INSTALLER_WORK}/newer/IniPlugin-${INIPLUGIN_NEWER_MSI_VERSION}-x64.msi)
iniplugin_unsigned_release(iniplugin_newer_msi ${INSTALLER_WORK}/newer ${INIPLUGIN_NEWER_MSI_VERSION})

# `make package`: the release files in release/, made anew on every run, so
# that a certificate given in the environment always takes effect.
add_custom_target(iniplugin_release
  COMMAND ${Python3_EXECUTABLE} ${INSTALLER_SCRIPT} ${INSTALLER_SETTINGS} ${CMAKE_BINARY_DIR}/release
  USES_TERMINAL)
add_dependencies(iniplugin_release IniPlugin inihost iniplugin_registration iniplugin_idl_headers)
