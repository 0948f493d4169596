# Project-wide compile settings and helper functions.

add_library(hoardel_options INTERFACE)
target_compile_options(hoardel_options INTERFACE -Wall -Wextra)
if(HOARDEL_WERROR)
  target_compile_options(hoardel_options INTERFACE -Werror)
endif()
target_include_directories(hoardel_options INTERFACE ${PROJECT_SOURCE_DIR}/src)
if(HOARDEL_SANITIZE)
  target_compile_options(hoardel_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                         -fno-sanitize-recover=undefined)
  target_link_options(hoardel_options INTERFACE -fsanitize=address,undefined)
endif()

# hoardel_library(NAME [SHARED] SOURCES ... [LIBS ...])
# A static library of the project with the project's options.
function(hoardel_library name)
  cmake_parse_arguments(A "SHARED" "" "SOURCES;LIBS" ${ARGN})
  if(A_SHARED)
    add_library(${name} SHARED ${A_SOURCES})
  else()
    add_library(${name} STATIC ${A_SOURCES})
  endif()
  target_link_libraries(${name} PUBLIC hoardel_options ${A_LIBS})
endfunction()

# hoardel_test(NAME LABEL unit|render|e2e|package|fuzz SOURCES ... [LIBS ...] [TIMEOUT s] [ONE_PROCESS])
# One GoogleTest executable; every test in it is registered with CTest under the label. With
# ONE_PROCESS, CTest runs the whole executable as one test instead (for tests that share an
# expensive set-up made once per process).
# The target unit_tests builds every executable of the label unit (and what they need).
if(NOT TARGET unit_tests)
  add_custom_target(unit_tests)
endif()
function(hoardel_test name)
  cmake_parse_arguments(A "ONE_PROCESS" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT A_LABEL)
    set(A_LABEL unit)
  endif()
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE hoardel_options ${A_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    HOARDEL_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    HOARDEL_BINARY_DIR="${PROJECT_BINARY_DIR}"
    HOARDEL_TESTDATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
  if(A_ONE_PROCESS)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS ${A_LABEL} TIMEOUT ${A_TIMEOUT})
  else()
    gtest_discover_tests(${name} PROPERTIES LABELS ${A_LABEL} TIMEOUT ${A_TIMEOUT}
                         DISCOVERY_TIMEOUT 60)
  endif()
  if(A_LABEL STREQUAL "unit")
    add_dependencies(unit_tests ${name})
  endif()
endfunction()

# Resources: components add (type, id, file) entries to a global list; the program's
# bundle is generated from it. Type is a name ("MediaData") or "#n" for a numeric type.
set_property(GLOBAL PROPERTY HOARDEL_RESOURCES "")
set_property(GLOBAL PROPERTY HOARDEL_RESOURCE_DEPENDS "")
function(hoardel_add_resource type id file)
  set_property(GLOBAL APPEND PROPERTY HOARDEL_RESOURCES "${type}|${id}|${file}")
  if(ARGC GREATER 3)
    set_property(GLOBAL APPEND PROPERTY HOARDEL_RESOURCE_DEPENDS ${ARGV3})
  endif()
endfunction()

# hoardel_resource_bundle(TARGET ENTRIES "type|id|file" ... [DEPENDS targets...])
# An object library whose assembly embeds the files with .incbin and defines the table
# the resource lookup of src/platform/win32 reads.
function(hoardel_resource_bundle target)
  cmake_parse_arguments(A "" "" "ENTRIES;DEPENDS" ${ARGN})
  set(manifest "${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest")
  set(content "")
  set(files "")
  foreach(e IN LISTS A_ENTRIES)
    string(REPLACE "|" ";" fields "${e}")
    list(GET fields 2 f)
    list(APPEND files "${f}")
    string(APPEND content "${e}\n")
  endforeach()
  file(GENERATE OUTPUT "${manifest}" CONTENT "${content}")
  set(asm "${CMAKE_CURRENT_BINARY_DIR}/${target}.S")
  add_custom_command(OUTPUT "${asm}"
    COMMAND resbundle "${manifest}" "${asm}"
    DEPENDS resbundle "${manifest}" ${files} ${A_DEPENDS}
    COMMENT "Embedding resources for ${target}")
  add_library(${target} OBJECT "${asm}")
  set_source_files_properties("${asm}" PROPERTIES OBJECT_DEPENDS "${files}")
endfunction()

# Fuzzing: with HOARDEL_FUZZ (clang), every library is instrumented and
# hoardel_fuzz_target(NAME SOURCES ... [LIBS ...] [CORPUS dirs...] [SEEDS files...]
#                     [SEED_DEPENDS targets...] [SECONDS n] [MAX_LEN bytes])
# builds a libFuzzer program plus a CTest entry (label fuzz) that runs it for a bounded time.
# Seeds: the CORPUS folders and the SEEDS files, which are copied at build time into
# <build dir>/<NAME>-seeds; SEED_DEPENDS names the targets that make generated seeds. New
# inputs go to <build dir>/<NAME>-corpus. Each target also writes <build>/fuzz/<NAME>.target,
# the manifest that scripts/fuzz.sh reads for longer campaigns.
if(NOT TARGET all_fuzzers)
  add_custom_target(all_fuzzers)
endif()
if(HOARDEL_FUZZ)
  target_compile_options(hoardel_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined
                         -fno-omit-frame-pointer)
  target_link_options(hoardel_options INTERFACE -fsanitize=address,undefined)
endif()
function(hoardel_fuzz_target name)
  cmake_parse_arguments(A "" "SECONDS;MAX_LEN" "SOURCES;LIBS;CORPUS;SEEDS;SEED_DEPENDS" ${ARGN})
  if(NOT HOARDEL_FUZZ)
    return()
  endif()
  if(NOT A_SECONDS)
    set(A_SECONDS 60)
  endif()
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE hoardel_options ${A_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  add_dependencies(all_fuzzers ${name})
  set(work "${CMAKE_CURRENT_BINARY_DIR}/${name}-corpus")
  set(seeds ${A_CORPUS})
  if(A_SEEDS)
    set(seed_dir "${CMAKE_CURRENT_BINARY_DIR}/${name}-seeds")
    set(stamp "${seed_dir}.stamp")
    add_custom_command(OUTPUT "${stamp}"
      COMMAND ${CMAKE_COMMAND} -E make_directory "${seed_dir}"
      COMMAND ${CMAKE_COMMAND} -E copy ${A_SEEDS} "${seed_dir}/"
      COMMAND ${CMAKE_COMMAND} -E touch "${stamp}"
      DEPENDS ${A_SEEDS} ${A_SEED_DEPENDS}
      COMMENT "Seeds of ${name}")
    add_custom_target(${name}_seeds DEPENDS "${stamp}")
    add_dependencies(${name} ${name}_seeds)
    list(APPEND seeds "${seed_dir}")
  endif()
  foreach(d IN LISTS A_SEED_DEPENDS)
    add_dependencies(${name} ${d})
  endforeach()
  set(options "-rss_limit_mb=2048")
  if(A_MAX_LEN)
    string(APPEND options " -max_len=${A_MAX_LEN}")
  endif()
  set(quoted "")
  foreach(d IN LISTS seeds)
    string(APPEND quoted " '${d}'")
  endforeach()
  add_test(NAME ${name}
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
            sh -c "mkdir -p '${work}' && exec '$<TARGET_FILE:${name}>' -max_total_time=${A_SECONDS} ${options} -print_final_stats=1 '${work}'${quoted}")
  set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT ${A_SECONDS}0)
  # One "key<TAB>value" per line; "seeds" may repeat.
  set(manifest "binary\t$<TARGET_FILE:${name}>\nmax_len\t${A_MAX_LEN}\n")
  foreach(d IN LISTS seeds)
    string(APPEND manifest "seeds\t${d}\n")
  endforeach()
  file(GENERATE OUTPUT "${PROJECT_BINARY_DIR}/fuzz/${name}.target" CONTENT "${manifest}")
endfunction()
