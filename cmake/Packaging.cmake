# The release files' content (the zip holds all of it, the Windows Installer
# package all but examples/): the install step, which installer/release.py
# runs into a stage of its own (see cmake/Installer.cmake).
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
