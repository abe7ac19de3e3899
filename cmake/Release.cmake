# What the release files take from the build: one version, every time from
# the commit, and no folder of the build machine.

# The version is the project's (CMakeLists.txt), set nowhere else. Code and
# resource scripts get it from iniplugin_version: the numbers for the version
# resources (windres drops the quotes of a string definition) and the text
# for C and C++.
add_library(iniplugin_version INTERFACE)
target_compile_definitions(iniplugin_version INTERFACE
  INIPLUGIN_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
  INIPLUGIN_VERSION_MINOR=${PROJECT_VERSION_MINOR}
  INIPLUGIN_VERSION_PATCH=${PROJECT_VERSION_PATCH}
  $<$<COMPILE_LANGUAGE:C,CXX>:INIPLUGIN_VERSION_TEXT="${PROJECT_VERSION}">)

# Times: the SOURCE_DATE_EPOCH convention. Given in the environment, it wins;
# else it is the time of the commit that is checked out; a tree without git
# history takes the time of this configure, and its builds differ.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(INIPLUGIN_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git log -1 --format=%ct
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    OUTPUT_VARIABLE INIPLUGIN_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT INIPLUGIN_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  string(TIMESTAMP INIPLUGIN_SOURCE_DATE_EPOCH "%s" UTC)
  message(STATUS "No commit to take the release files' times from (set SOURCE_DATE_EPOCH): "
                 "they carry the time of this configure")
endif()

# A released program's link: the linker writes the time into the PE header
# and the export directory, and takes it from SOURCE_DATE_EPOCH when set.
function(iniplugin_release_program target)
  set_target_properties(${target} PROPERTIES
    C_LINKER_LAUNCHER "${CMAKE_COMMAND};-E;env;SOURCE_DATE_EPOCH=${INIPLUGIN_SOURCE_DATE_EPOCH}"
    CXX_LINKER_LAUNCHER "${CMAKE_COMMAND};-E;env;SOURCE_DATE_EPOCH=${INIPLUGIN_SOURCE_DATE_EPOCH}")
endfunction()

# Folders: file names that reach the binaries (__FILE__ in assertions, the
# debug information) are written relative to the source and build trees.
add_compile_options(
  "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}/=>"
  "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=>")
