# `make package`: one zip with what a host developer needs on Windows.
install(TARGETS IniPlugin RUNTIME DESTINATION . LIBRARY DESTINATION .)
install(TARGETS inihost RUNTIME DESTINATION .)
install(FILES
  ${IDL_OUT}/IniPlugin.tlb
  ${IDL_OUT}/IniPlugin.h
  ${IDL_OUT}/IniPlugin_i.c
  ${IDL_OUT}/HostContract.h
  ${IDL_OUT}/HostContract_i.c
  ${CMAKE_SOURCE_DIR}/interfaces/IniPlugin.idl
  ${CMAKE_SOURCE_DIR}/interfaces/HostContract.idl
  DESTINATION include)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION .)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/ DESTINATION examples)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME IniPlugin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_SYSTEM_NAME win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
