# Settings of the Windows build, included by the top-level CMakeLists.txt.

# The Windows build has its own dialog (app/win); wxWidgets is Linux only.
set(CORVANE_BUILD_APP OFF)

# nlohmann/json is headers only: a cross build takes Debian's, from a folder
# that holds them alone (the rest of /usr/include is the build machine's).
if(CMAKE_CROSSCOMPILING AND EXISTS /usr/include/nlohmann/json.hpp)
  set(corvane_json_include ${CMAKE_BINARY_DIR}/host-headers)
  file(MAKE_DIRECTORY ${corvane_json_include})
  if(NOT EXISTS ${corvane_json_include}/nlohmann)
    file(CREATE_LINK /usr/include/nlohmann ${corvane_json_include}/nlohmann SYMBOLIC)
  endif()
  file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/nlohmann_json-config.cmake
       "if(NOT TARGET nlohmann_json::nlohmann_json)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${corvane_json_include})
endif()
")
  file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/nlohmann_json-config-version.cmake
       "set(PACKAGE_VERSION 3)\nset(PACKAGE_VERSION_COMPATIBLE TRUE)\n")
endif()
