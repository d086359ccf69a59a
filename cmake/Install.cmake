# Installation: the static libraries, their headers, the tool, a CMake
# package (find_package(twagent) gives twagent::velmora, twagent::runtime,
# ...) and pkg-config files (velmora.pc, twagent-runtime.pc).
include(CMakePackageConfigHelpers)

# Every library declared with tw_public_library, in layer order.
get_property(TW_EXPORTED_TARGETS GLOBAL PROPERTY TW_PUBLIC_LIBRARIES)

install(TARGETS ${TW_EXPORTED_TARGETS}
  EXPORT twagentTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS esu-prereq-check RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Headers keep their folder names (platform/, runtime/, velmora/), below one
# project folder so that they cannot clash with other packages' headers. Each
# library's include root holds only its own headers.
foreach(target ${TW_EXPORTED_TARGETS})
  get_target_property(root ${target} TW_INCLUDE_ROOT)
  install(DIRECTORY ${root}/ DESTINATION ${TW_INSTALL_INCLUDEDIR} FILES_MATCHING PATTERN "*.h")
endforeach()

# The Windows store's libxml2: the DLL ships beside the programs, its import
# library beside ours (the package's LibXml2::LibXml2, see twagentConfig).
if(TW_BUILD_DATASTORE AND WIN32 AND CMAKE_CROSSCOMPILING)
  get_target_property(twlibxml2_dll LibXml2::LibXml2 IMPORTED_LOCATION)
  get_target_property(twlibxml2_implib LibXml2::LibXml2 IMPORTED_IMPLIB)
  install(FILES ${twlibxml2_dll} DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${twlibxml2_implib} DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()

set(TW_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/twagent)
install(EXPORT twagentTargets NAMESPACE twagent:: DESTINATION ${TW_CMAKE_PACKAGE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/twagentConfig.cmake.in
  ${PROJECT_BINARY_DIR}/twagentConfig.cmake INSTALL_DESTINATION ${TW_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/twagentConfigVersion.cmake COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/twagentConfig.cmake ${PROJECT_BINARY_DIR}/twagentConfigVersion.cmake
  DESTINATION ${TW_CMAKE_PACKAGE_DIR})

# tw_pkgconfig_libs(<out> <targets...>): the "Libs" flags of a pkg-config file
# for static libraries, read off the targets' own link interfaces, so they
# cannot drift from the build: every library of ours once, each before the
# ones it needs, then the system libraries they need. libxml2 is not listed:
# it comes through Requires.private.
function(tw_pkgconfig_libs out)
  set(order "")
  set(system "")
  set(visiting "")
  # Depth-first, appending a library after everything it needs; reversed
  # at the end, this puts users before what they use.
  macro(tw_visit target)
    if(NOT "${target}" IN_LIST order AND NOT "${target}" IN_LIST visiting)
      list(APPEND visiting ${target})
      get_target_property(deps ${target} INTERFACE_LINK_LIBRARIES)
      if(deps)
        foreach(dep ${deps})
          string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" dep "${dep}")
          if("${dep}" IN_LIST TW_EXPORTED_TARGETS)
            tw_visit(${dep})
          elseif(dep STREQUAL "Threads::Threads")
            list(APPEND system -lpthread)
          elseif(dep MATCHES "^LibXml2::" OR dep MATCHES "^\\$<")
            # Requires.private, or a generator expression for the build only.
          elseif(dep MATCHES "^ODBC::")
            list(APPEND system -lodbc -lodbcinst)
          else()
            list(APPEND system -l${dep})
          endif()
        endforeach()
      endif()
      list(APPEND order ${target})
    endif()
  endmacro()
  foreach(target ${ARGN})
    tw_visit(${target})
  endforeach()
  list(REVERSE order)
  set(flags "")
  foreach(target ${order})
    get_target_property(name ${target} OUTPUT_NAME)
    string(APPEND flags " -l${name}")
  endforeach()
  list(REMOVE_DUPLICATES system)
  list(JOIN system " " system)
  set(${out} "${flags} -lstdc++ ${system}" PARENT_SCOPE)
endfunction()

# pkg-config: the libraries are static, so their own dependencies (the C++
# runtime, threads, libxml2) are listed with them.
if(NOT WIN32)
  file(RELATIVE_PATH TW_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
  string(REGEX REPLACE "/$" "" TW_PC_TO_PREFIX "${TW_PC_TO_PREFIX}")
  tw_pkgconfig_libs(TW_PC_LIBS agentutil runtime)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/twagent-runtime.pc.in ${PROJECT_BINARY_DIR}/twagent-runtime.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/twagent-runtime.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  if(TARGET velmora)
    # The data store's topmost library brings every layer below it.
    set(TW_VELMORA_TOP velmora)
    foreach(candidate velmora_sql velmora_db velmora_objects)
      if(TARGET ${candidate})
        set(TW_VELMORA_TOP ${candidate})
      endif()
    endforeach()
    tw_pkgconfig_libs(TW_PC_LIBS ${TW_VELMORA_TOP})
    configure_file(${PROJECT_SOURCE_DIR}/cmake/velmora.pc.in ${PROJECT_BINARY_DIR}/velmora.pc @ONLY)
    install(FILES ${PROJECT_BINARY_DIR}/velmora.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  endif()
endif()
