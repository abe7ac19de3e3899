# widl turns the two IDL files into headers, identifier definitions, the
# type library and the proxy/stub code. mingw's widl needs Wine's IDL folder
# for the system IDL files and Wine's stdole2.tlb for the type library.
find_program(WIDL NAMES x86_64-w64-mingw32-widl widl REQUIRED)
set(WINE_IDL_DIR /usr/include/wine/wine/windows)
set(WINE_TLB_DIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
set(IDL_OUT ${CMAKE_BINARY_DIR}/idl)
if(EXISTS ${WINE_TLB_DIR}/stdole2.tlb)
  set(WIDL_TLB_FLAGS -L ${WINE_TLB_DIR})
endif()
file(MAKE_DIRECTORY ${IDL_OUT})
set(WIDL_FLAGS -m64 -I${CMAKE_SOURCE_DIR}/interfaces)
# On Windows, MSYS2's widl knows its own IDL files and type libraries.
if(EXISTS ${WINE_IDL_DIR})
  list(APPEND WIDL_FLAGS -I${WINE_IDL_DIR})
endif()

# widl runs in the source folder and is given the IDL files by relative path:
# the generated files name their IDL file, and the headers ship.
add_custom_command(
  OUTPUT ${IDL_OUT}/HostContract.h ${IDL_OUT}/HostContract_i.c
  COMMAND ${WIDL} ${WIDL_FLAGS} -h -H ${IDL_OUT}/HostContract.h interfaces/HostContract.idl
  COMMAND ${WIDL} ${WIDL_FLAGS} -u -U ${IDL_OUT}/HostContract_i.c interfaces/HostContract.idl
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
  DEPENDS ${CMAKE_SOURCE_DIR}/interfaces/HostContract.idl
  COMMENT "widl: host contract")

add_custom_command(
  OUTPUT ${IDL_OUT}/IniPlugin.h ${IDL_OUT}/IniPlugin_i.c ${IDL_OUT}/IniPlugin_p.c ${IDL_OUT}/dlldata.c
  COMMAND ${WIDL} ${WIDL_FLAGS} -h -H ${IDL_OUT}/IniPlugin.h interfaces/IniPlugin.idl
  COMMAND ${WIDL} ${WIDL_FLAGS} -u -U ${IDL_OUT}/IniPlugin_i.c interfaces/IniPlugin.idl
  # -Oif: the default (-Os) proxy code includes Wine's own exception header.
  COMMAND ${WIDL} ${WIDL_FLAGS} -Oif -p -P ${IDL_OUT}/IniPlugin_p.c interfaces/IniPlugin.idl
  # The proxy/stub's file list (dlldata.c) names the proxy file written above.
  COMMAND ${WIDL} --dlldata-only --dlldata=${IDL_OUT}/dlldata.c IniPlugin
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
  DEPENDS ${CMAKE_SOURCE_DIR}/interfaces/IniPlugin.idl
  COMMENT "widl: plug-in interfaces and proxy/stub")

# The type library records when it was made: the commit's time
# (WIDL_TIME_OVERRIDE), written as UTC.
add_custom_command(
  OUTPUT ${IDL_OUT}/IniPlugin.tlb
  COMMAND ${CMAKE_COMMAND} -E env WIDL_TIME_OVERRIDE=${INIPLUGIN_SOURCE_DATE_EPOCH} TZ=UTC
          ${WIDL} ${WIDL_FLAGS} ${WIDL_TLB_FLAGS} -t -T ${IDL_OUT}/IniPlugin.tlb interfaces/IniPlugin.idl
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
  DEPENDS ${CMAKE_SOURCE_DIR}/interfaces/IniPlugin.idl
  COMMENT "widl: type library")

add_library(iniplugin_idl STATIC ${IDL_OUT}/HostContract_i.c ${IDL_OUT}/IniPlugin_i.c)
target_include_directories(iniplugin_idl PUBLIC ${IDL_OUT})
set_source_files_properties(${IDL_OUT}/HostContract.h ${IDL_OUT}/IniPlugin.h PROPERTIES GENERATED ON)
add_custom_target(iniplugin_idl_headers DEPENDS ${IDL_OUT}/HostContract.h ${IDL_OUT}/IniPlugin.h
  ${IDL_OUT}/IniPlugin_p.c ${IDL_OUT}/dlldata.c ${IDL_OUT}/IniPlugin.tlb)
add_dependencies(iniplugin_idl iniplugin_idl_headers)
