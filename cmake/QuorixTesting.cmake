# quorix_add_test(<name> SOURCES <files...> [LIBS <targets...>] [LABEL <kind>] [TIMEOUT <s>])
# One GoogleTest program registered with CTest, run offscreen, labelled by its folder below
# cpp/tests (which mirrors the source folder it tests) and by LABEL when given (durability: tests
# that run processes or servers and kill them).
function(quorix_add_test name)
  cmake_parse_arguments(T "" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  file(RELATIVE_PATH labels ${PROJECT_SOURCE_DIR}/cpp/tests ${CMAKE_CURRENT_SOURCE_DIR})
  list(APPEND labels ${T_LABEL})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main Threads::Threads)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    LABELS "${labels}"
    TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QUORIX_EMBEDDED_MEMORY=1;FENBASE_LOG_LEVEL=2;ASAN_OPTIONS=detect_leaks=1;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/lsan.supp;UBSAN_OPTIONS=print_stacktrace=1")
endfunction()

# quorix_add_bench(<name> SOURCES <files...> [LIBS <targets...>])
function(quorix_add_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark Threads::Threads)
endfunction()

# quorix_add_npm_test(<name> DIRECTORY <dir> [TIMEOUT <s>] [ENVIRONMENT <list>])
# The npm test script of a folder outside the C++ tree (the web pages' browser tests, run by Node's
# test runner against a headless chromium), labelled like the other tests by its folder below cpp/tests.
# Without npm the test is still registered and fails saying what to install.
function(quorix_add_npm_test name)
  # ENVIRONMENT takes several NAME=VALUE items; as a one-value keyword it kept only the first.
  cmake_parse_arguments(T "" "DIRECTORY;TIMEOUT" "ENVIRONMENT" ${ARGN})
  file(RELATIVE_PATH labels ${PROJECT_SOURCE_DIR}/cpp/tests ${CMAKE_CURRENT_SOURCE_DIR})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  find_program(QUORIX_NPM npm)
  if(QUORIX_NPM)
    add_test(NAME ${name} COMMAND ${QUORIX_NPM} test WORKING_DIRECTORY ${T_DIRECTORY})
  else()
    add_test(NAME ${name} COMMAND sh -c "echo 'npm not found: run scripts/setup to install node, npm and chromium' >&2; exit 1")
  endif()
  set_tests_properties(${name} PROPERTIES LABELS "${labels}" TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${T_ENVIRONMENT}")
endfunction()
