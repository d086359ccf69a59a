# LibXml2::LibXml2 for the data store. Natively: the system's libxml2. In a
# mingw-w64 cross build: Debian's libxml2 source cross-compiled as
# twlibxml2.dll (scripts/build-twlibxml2.sh, once per build folder, at
# configure time), an imported target with its import library; the DLL is
# copied next to the programs that need it (tw_copy_twlibxml2).
if(TARGET LibXml2::LibXml2)
  return()
endif()
if(WIN32 AND CMAKE_CROSSCOMPILING)
  set(TW_TWLIBXML2_DIR ${CMAKE_BINARY_DIR}/twlibxml2/install)
  execute_process(
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/build-twlibxml2.sh ${CMAKE_BINARY_DIR} ${CMAKE_TOOLCHAIN_FILE}
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "twlibxml2.dll could not be built (scripts/build-twlibxml2.sh): ${result}")
  endif()
  add_library(LibXml2::LibXml2 SHARED IMPORTED GLOBAL)
  set_target_properties(LibXml2::LibXml2 PROPERTIES
    IMPORTED_LOCATION ${TW_TWLIBXML2_DIR}/bin/twlibxml2.dll
    IMPORTED_IMPLIB ${TW_TWLIBXML2_DIR}/lib/libtwlibxml2.dll.a
    INTERFACE_INCLUDE_DIRECTORIES ${TW_TWLIBXML2_DIR}/include/libxml2)
else()
  find_package(LibXml2 REQUIRED)
endif()

# tw_copy_twlibxml2(<executable target>): on Windows, puts twlibxml2.dll
# beside the program, where the loader looks first.
function(tw_copy_twlibxml2 target)
  if(WIN32 AND CMAKE_CROSSCOMPILING)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:LibXml2::LibXml2> $<TARGET_FILE_DIR:${target}>)
  endif()
endfunction()
