# Small helpers so that each folder's CMakeLists stays a list of names.

# ovanta_own_headers(TARGET SCOPE): TARGET's headers, those of the folder
# it is made in, included as "FOLDER/name.h". They come through an include
# folder of the target's own in the build tree, holding one link, FOLDER, to
# the source folder; so a source sees the headers of its own library and of
# those it links (directly or through others), and an include from any
# other library does not build. scripts/check-includes.sh keeps the source
# tree itself off every include path.
function(ovanta_own_headers target scope)
  get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${folder} SYMBOLIC)
  target_include_directories(${target} ${scope} ${root})
endfunction()

# ovanta_library(NAME [SOURCES ...] [DEPS ...]): the library of one folder,
# header only without SOURCES.
function(ovanta_library name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  if(A_SOURCES)
    add_library(${name} STATIC ${A_SOURCES})
    set(scope PUBLIC)
  else()
    add_library(${name} INTERFACE)
    set(scope INTERFACE)
  endif()
  ovanta_own_headers(${name} ${scope})
  target_link_libraries(${name} ${scope} ${A_DEPS})
endfunction()

# The bundle folder: every generator writes into it, the app and the tests read it.
set(OVANTA_BUNDLE_DIR ${CMAKE_BINARY_DIR}/Resources)

# ovanta_generate(TARGET GENERATOR COMMENT [ARGS ...] [DEPENDS ...]): runs a
# generator into the bundle folder at build time. The generator names its own
# files (tools/bundle_out): it leaves a depfile listing them beside a stamp, so
# no rule lists them and a missing or changed file still makes it run again.
function(ovanta_generate target generator comment)
  cmake_parse_arguments(A "" "" "ARGS;DEPENDS" ${ARGN})
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${generator}.stamp)
  add_custom_command(
    OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${OVANTA_BUNDLE_DIR}
    COMMAND $<TARGET_FILE:${generator}> ${OVANTA_BUNDLE_DIR} --stamp ${stamp} ${A_ARGS}
    DEPFILE ${stamp}.d
    DEPENDS ${generator} ${A_DEPENDS}
    COMMENT ${comment}
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${stamp})
endfunction()

# Test programs of the sanitizer build run through a small launcher (see the
# script for why); tests added by hand put ${OVANTA_TEST_LAUNCHER} first too.
set(OVANTA_TEST_LAUNCHER "")
if(OVANTA_SANITIZE)
  set(OVANTA_TEST_LAUNCHER ${CMAKE_SOURCE_DIR}/scripts/sanitized-test.sh)
endif()

# ovanta_test(NAME SOURCES ... DEPS ...): one GoogleTest executable, its cases
# registered with CTest one by one so that a failure names the case.
function(ovanta_test name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${A_DEPS} GTest::gtest GTest::gtest_main)
  if(OVANTA_TEST_LAUNCHER)
    set_property(TARGET ${name} PROPERTY CROSSCOMPILING_EMULATOR ${OVANTA_TEST_LAUNCHER})
  endif()
  include(GoogleTest)
  gtest_discover_tests(${name} WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    PROPERTIES ENVIRONMENT "OVANTA_SOURCE_DIR=${CMAKE_SOURCE_DIR}" DISCOVERY_TIMEOUT 60)
endfunction()

# ovanta_bench(NAME SOURCES ... DEPS ...)
function(ovanta_bench name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  if(OVANTA_SANITIZE OR OVANTA_FUZZ)
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/bench)
  target_link_libraries(${name} PRIVATE ${A_DEPS} benchmark::benchmark benchmark::benchmark_main)
endfunction()

# ovanta_fuzz_seed(NAME SOURCES ... DEPS ...): a plain program that writes the
# seed corpus of fuzz target NAME_fuzz into the folder given as its argument.
function(ovanta_fuzz_seed name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  if(NOT OVANTA_FUZZ)
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${A_DEPS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
endfunction()

# ovanta_fuzz(NAME SOURCES ... DEPS ...): a libFuzzer target, only in fuzz builds.
function(ovanta_fuzz name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  if(NOT OVANTA_FUZZ)
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${A_DEPS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  set_property(GLOBAL APPEND PROPERTY OVANTA_FUZZ_TARGETS ${name})
endfunction()
