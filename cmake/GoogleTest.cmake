# GoogleTest from Debian's source package, compiled by this tree's own
# compiler (so the win64 tree gets a mingw build of it).
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources to build with this tree's compiler")
if(EXISTS ${GTEST_SOURCE_DIR}/CMakeLists.txt)
  add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
  # A native Windows toolchain (MSYS2) ships GoogleTest built already.
  find_package(GTest REQUIRED)
endif()
