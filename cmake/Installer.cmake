# The Windows Installer package, IniPlugin-<version>-x64.msi, built with wixl
# from installer/IniPlugin.wxs:
#  - its files are those of the install step (cmake/Packaging.cmake), stripped;
#  - its registry entries come from regexport, which runs the built DLL's
#    DllRegisterServer with HKEY_CLASSES_ROOT redirected and writes what it
#    wrote as WiX registry elements (Registration.wxi). Cross-built, regexport
#    runs under Wine in the build's prefix, which is left with no server
#    running so that the tests start from a quiet prefix.
find_program(WIXL wixl)
if(NOT WIXL)
  message(FATAL_ERROR "wixl is missing: run scripts/install-deps, or configure with -DINIPLUGIN_MSI=OFF")
endif()

# How Windows Installer knows every version of the package as one product, so
# that a newer package upgrades an older one in place. It never changes.
set(INIPLUGIN_UPGRADE_CODE C13311BA-D5CF-41DC-A9B5-D807975E8602)

set(INSTALLER_WORK ${CMAKE_BINARY_DIR}/installer)
set(INSTALLER_STAGE ${INSTALLER_WORK}/stage)
set(INSTALLER_SOURCE ${CMAKE_SOURCE_DIR}/installer/IniPlugin.wxs)
file(MAKE_DIRECTORY ${INSTALLER_WORK}/newer)

set(installer_registration_commands
  COMMAND regexport $<TARGET_FILE:IniPlugin> IniPluginDll INSTALLFOLDER ${INSTALLER_WORK}/Registration.wxi)
if(CMAKE_CROSSCOMPILING)
  list(APPEND installer_registration_commands
    COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-shutdown.sh ${INIPLUGIN_WINE_PREFIX})
endif()
add_custom_command(
  OUTPUT ${INSTALLER_WORK}/Registration.wxi
  ${installer_registration_commands}
  DEPENDS IniPlugin regexport
  COMMENT "regexport: the installer's registry entries from DllRegisterServer")

add_custom_command(
  OUTPUT ${INSTALLER_WORK}/stage.stamp
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${INSTALLER_STAGE}
  COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${INSTALLER_STAGE} --strip >/dev/null
  COMMAND ${CMAKE_COMMAND} -E touch ${INSTALLER_WORK}/stage.stamp
  DEPENDS IniPlugin inihost iniplugin_idl_headers ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE
          ${CMAKE_SOURCE_DIR}/interfaces/IniPlugin.idl ${CMAKE_SOURCE_DIR}/interfaces/HostContract.idl
  COMMENT "Laying out the installer's files")

# A package of this build with the given version, built with everything else.
function(iniplugin_msi target output version)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${WIXL} -a x64 -D Version=${version} -D UpgradeCode=${INIPLUGIN_UPGRADE_CODE}
            -I ${INSTALLER_WORK} -o ${output} ${INSTALLER_SOURCE}
    WORKING_DIRECTORY ${INSTALLER_STAGE}
    DEPENDS ${INSTALLER_SOURCE} ${INSTALLER_WORK}/Registration.wxi ${INSTALLER_WORK}/stage.stamp
    COMMENT "wixl: ${output}")
  add_custom_target(${target} ALL DEPENDS ${output})
endfunction()

set(INIPLUGIN_MSI_VERSION ${PROJECT_VERSION})
set(INIPLUGIN_MSI_PACKAGE ${CMAKE_BINARY_DIR}/IniPlugin-${INIPLUGIN_MSI_VERSION}-x64.msi)
iniplugin_msi(iniplugin_msi ${INIPLUGIN_MSI_PACKAGE} ${INIPLUGIN_MSI_VERSION})

# The same package with a higher version, which the tests upgrade to; it is
# not for release, so it stays in the installer's work folder.
math(EXPR newer_patch "${PROJECT_VERSION_PATCH} + 1")
set(INIPLUGIN_NEWER_MSI_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${newer_patch})
set(INIPLUGIN_NEWER_MSI_PACKAGE ${INSTALLER_WORK}/newer/IniPlugin-${INIPLUGIN_NEWER_MSI_VERSION}-x64.msi)
iniplugin_msi(iniplugin_newer_msi ${INIPLUGIN_NEWER_MSI_PACKAGE} ${INIPLUGIN_NEWER_MSI_VERSION})
