# What the release files take from the build: one version.

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
