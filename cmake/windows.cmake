# Settings of the Windows build, included by the top-level CMakeLists.txt.

# The Windows build has its own dialog (app/win); wxWidgets is Linux only.
set(CORVANE_BUILD_APP OFF)

# Resource scripts: both programs carry a version block and the manifest
# (app/win/program.rc); cli/ and app/win/ use the language, so it is enabled
# here, above both.
enable_language(RC)
set(CORVANE_PROGRAM_RC_DEPENDS
    ${CMAKE_SOURCE_DIR}/app/win/program.rc ${CMAKE_BINARY_DIR}/generated/corvane.manifest)

# nlohmann/json and CLI11 are headers only: a cross build takes Debian's, from
# a folder that holds them alone (the rest of /usr/include is the build
# machine's), through package configurations of our own.
if(CMAKE_CROSSCOMPILING)
  set(corvane_host_headers ${CMAKE_BINARY_DIR}/host-headers)
  file(MAKE_DIRECTORY ${corvane_host_headers})
  foreach(package_and_folder nlohmann_json:nlohmann CLI11:CLI)
    string(REPLACE ":" ";" pair ${package_and_folder})
    list(GET pair 0 package)
    list(GET pair 1 folder)
    if(NOT EXISTS /usr/include/${folder})
      continue()
    endif()
    if(NOT EXISTS ${corvane_host_headers}/${folder})
      file(CREATE_LINK /usr/include/${folder} ${corvane_host_headers}/${folder} SYMBOLIC)
    endif()
    string(TOLOWER ${package} file_name)
    file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/${file_name}-config.cmake
         "if(NOT TARGET ${package}::${package})
  add_library(${package}::${package} INTERFACE IMPORTED)
  set_target_properties(${package}::${package} PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${corvane_host_headers})
endif()
")
    file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/${file_name}-config-version.cmake
         "set(PACKAGE_VERSION 99)\nset(PACKAGE_VERSION_COMPATIBLE TRUE)\n")
  endforeach()
endif()
