# Installation: the static libraries, their headers, the tool, a CMake
# package (find_package(twagent) gives twagent::velmora, twagent::runtime,
# ...) and pkg-config files (velmora.pc, twagent-runtime.pc).
include(CMakePackageConfigHelpers)

set(TW_EXPORTED_TARGETS platform log runtime agentutil base velmora_query)
if(TARGET velmora)
  list(APPEND TW_EXPORTED_TARGETS velmora)
endif()

install(TARGETS ${TW_EXPORTED_TARGETS}
  EXPORT twagentTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS esu-prereq-check RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Headers keep their folder names (platform/, runtime/, velmora/), below one
# project folder so that they cannot clash with other packages' headers.
foreach(dir platform/include/platform runtime/include/runtime datastore/core/include/velmora
            datastore/query/include/velmora)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${dir} DESTINATION ${TW_INSTALL_INCLUDEDIR} FILES_MATCHING PATTERN "*.h")
endforeach()

set(TW_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/twagent)
install(EXPORT twagentTargets NAMESPACE twagent:: DESTINATION ${TW_CMAKE_PACKAGE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/twagentConfig.cmake.in
  ${PROJECT_BINARY_DIR}/twagentConfig.cmake INSTALL_DESTINATION ${TW_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/twagentConfigVersion.cmake COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/twagentConfig.cmake ${PROJECT_BINARY_DIR}/twagentConfigVersion.cmake
  DESTINATION ${TW_CMAKE_PACKAGE_DIR})

# pkg-config: the libraries are static, so their own dependencies (the C++
# runtime, threads, libxml2) are listed with them.
if(NOT WIN32)
  file(RELATIVE_PATH TW_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
  string(REGEX REPLACE "/$" "" TW_PC_TO_PREFIX "${TW_PC_TO_PREFIX}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/twagent-runtime.pc.in ${PROJECT_BINARY_DIR}/twagent-runtime.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/twagent-runtime.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  if(TARGET velmora)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/velmora.pc.in ${PROJECT_BINARY_DIR}/velmora.pc @ONLY)
    install(FILES ${PROJECT_BINARY_DIR}/velmora.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  endif()
endif()
