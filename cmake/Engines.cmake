# Database engines for the tests, as CTest fixtures.
#
# tw_add_engine_test(<name> SOURCES <files...> [LIBS <targets...>] [ENGINES <engines...>]
#                    [LABELS <labels...>])
#   One GoogleTest program whose TEST_P bodies run once per engine
#   (tests/engines/engine_test.h). Every discovered test whose instance is
#   named after an engine ("<suite>/<engine>" or "<suite>/<engine>_...") gets
#   that engine's CTest label and requires its fixture, so
#   `ctest -L postgresql` runs one engine's tests with its server's start
#   and stop. The program's other tests carry no engine label.
#   ENGINES (default: all four) lists the engines the program uses.
#   LABELS are added to every test of the program (e.g. odbc), beside the
#   engine's own.
#
# Per engine, the fixture `engine_<engine>` is a setup test that runs
# scripts/engines/<engine>.sh start and a cleanup test that runs its stop;
# CTest runs the cleanup after the last test that needs it, whether that
# test passed or not. Their state (data, sockets, logs, <engine>.env) lives
# in TW_ENGINE_STATE_DIR, one per build folder, so two build folders can
# run their suites at the same time.

set(TW_ENGINES sqlite postgresql mariadb firebird)
set(TW_ENGINE_STATE_DIR ${CMAKE_BINARY_DIR}/engines)

# The setup and cleanup tests of one engine, registered on first use.
function(tw_engine_fixture engine)
  get_property(done GLOBAL PROPERTY TW_ENGINE_FIXTURE_${engine})
  if(done)
    return()
  endif()
  set_property(GLOBAL PROPERTY TW_ENGINE_FIXTURE_${engine} TRUE)
  set(script ${PROJECT_SOURCE_DIR}/scripts/engines/${engine}.sh)
  add_test(NAME engine.${engine}.start COMMAND ${script} start ${TW_ENGINE_STATE_DIR})
  add_test(NAME engine.${engine}.stop COMMAND ${script} stop ${TW_ENGINE_STATE_DIR})
  set_tests_properties(engine.${engine}.start PROPERTIES
    FIXTURES_SETUP engine_${engine} LABELS ${engine} TIMEOUT 180)
  set_tests_properties(engine.${engine}.stop PROPERTIES
    FIXTURES_CLEANUP engine_${engine} LABELS ${engine} TIMEOUT 120)
endfunction()

function(tw_add_engine_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ENGINES;LABELS" ${ARGN})
  if(NOT ARG_ENGINES)
    set(ARG_ENGINES ${TW_ENGINES})
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} engine_client test_support GTest::gtest GTest::gtest_main)
  set(environment "TW_ENGINE_STATE=${TW_ENGINE_STATE_DIR}")
  set(patterns "")
  foreach(engine ${ARG_ENGINES})
    if(NOT engine IN_LIST TW_ENGINES)
      message(FATAL_ERROR "tw_add_engine_test(${name}): unknown engine ${engine} (known: ${TW_ENGINES})")
    endif()
    tw_engine_fixture(${engine})
    set(pattern "*/${engine}:*/${engine}_*")
    gtest_discover_tests(${name}
      TEST_FILTER "${pattern}"
      NO_PRETTY_VALUES  # the instance name is the engine's: keep it as the test's name
      TEST_LIST ${name}_${engine}_TESTS
      DISCOVERY_TIMEOUT 60
      PROPERTIES
        LABELS ${engine}
        FIXTURES_REQUIRED engine_${engine}
        ENVIRONMENT "${environment}"
        TIMEOUT 300)
    list(APPEND patterns "${pattern}")
  endforeach()
  # The program's tests that belong to no engine.
  list(JOIN patterns ":" others)
  gtest_discover_tests(${name} TEST_FILTER "-${others}" NO_PRETTY_VALUES DISCOVERY_TIMEOUT 60
    TEST_LIST ${name}_other_TESTS
    PROPERTIES ENVIRONMENT "${environment}" TIMEOUT 300)
  # Labels: the engine's, the program's name (so a stage can pick whole
  # programs, as the other suites are picked) and any extra ones. A list
  # cannot pass through the discovery's properties intact, so a script read
  # after the discovered tests sets each test's whole label list from the
  # test lists the discovery leaves behind.
  set(script "")
  foreach(group ${ARG_ENGINES} other)
    set(labels ${ARG_LABELS} ${name})
    if(NOT group STREQUAL "other")
      list(PREPEND labels ${group})
    endif()
    # The embedded Firebird engine's threads are still ending when the
    # process exits, and LeakSanitizer's thread tracer, which stops them to
    # scan their stacks, then crashes now and again after a passed test. The
    # same bodies run with leak checks on the other engines.
    set(environment_property "")
    if(TW_SANITIZE AND group STREQUAL "firebird")
      set(environment_property " ENVIRONMENT \"${environment};ASAN_OPTIONS=detect_leaks=0\"")
    endif()
    string(APPEND script "foreach(test IN LISTS ${name}_${group}_TESTS)\n"
                         "  set_tests_properties(\"\${test}\" PROPERTIES LABELS \"${labels}\"${environment_property})\n"
                         "endforeach()\n")
  endforeach()
  set(labels_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake)
  file(WRITE ${labels_file} "${script}")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${labels_file})
endfunction()
