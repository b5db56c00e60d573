# Test registration shared by every deliverable.
#
# project_add_gtest(<target> SOURCES <files...> [LIBS <libs...>])
# builds one GoogleTest executable linked with the shared test support and
# registers its cases with CTest. Suites are labelled by name: a suite whose
# name holds "Gui" is labelled gui, "Corpus" corpus, "Slow" slow, every
# other suite unit; a unit suite whose name holds "Threads" is labelled
# threads as well (the tsan preset runs those).
#
# Every test runs with TMPDIR below the build folder (the shared main gives
# each test a private folder there) and finds the shared test data through
# TESTDATA_DIR, which defaults to ../shared/testdata beside the checkout
# unless the environment already names a folder. Both defaults are compiled
# into the shared main: CMake 3.25's test discovery cannot pass more than one
# environment variable per test.

include(GoogleTest)
enable_testing()

set(PROJECT_TESTDATA_DEFAULT "${CMAKE_SOURCE_DIR}/../shared/testdata")
set(PROJECT_TEST_TMP "${CMAKE_BINARY_DIR}/test-tmp")

function(project_add_gtest target)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE testsupport ${ARG_LIBS})
  set(groups
    "gui|*Gui*"
    "corpus|*Corpus*-*Gui*"
    "slow|*Slow*-*Corpus*:*Gui*"
    "unit,threads|*Threads*.*-*Corpus*:*Slow*:*Gui*"
    "unit|-*Corpus*:*Slow*:*Gui*:*Threads*.*")
  foreach(group IN LISTS groups)
    string(REPLACE "|" ";" parts "${group}")
    list(GET parts 0 labels)
    list(GET parts 1 filter)
    # A test with two labels: the list passes through several expansions
    # in CMake 3.25's GoogleTest discovery, each of which takes one level of
    # escaping off its semicolon.
    string(REPLACE "," [[\\\\\\\\;]] labels "${labels}")
    gtest_discover_tests(${target}
      TEST_FILTER "${filter}"
      DISCOVERY_TIMEOUT 60
      PROPERTIES LABELS "${labels}")
  endforeach()
endfunction()
