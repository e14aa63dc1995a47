# Shared build rules.

set(VELQUOR_WARNINGS -Wall -Wextra -Wno-unused-parameter)

# Native builds run the portable code under AddressSanitizer and UBSan; the "_fast"
# variant of a portable library is for benchmarks and tools, and the fuzz targets link
# the sanitized one (which is also instrumented for libFuzzer's coverage).
set(VELQUOR_SANITIZE_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
if(NOT VELQUOR_WINDOWS AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  set(VELQUOR_FUZZING ON)
else()
  set(VELQUOR_FUZZING OFF)
endif()

# velquor_portable_library(NAME SOURCES... [LIBS libs...])
# Windows: one static library NAME. Native: NAME (sanitized) and NAME_fast (optimised).
function(velquor_portable_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;INCLUDES" ${ARGN})
  set(variants ${name})
  if(NOT VELQUOR_WINDOWS)
    list(APPEND variants ${name}_fast)
  endif()
  foreach(target ${variants})
    add_library(${target} STATIC ${ARG_SOURCES})
    target_compile_options(${target} PRIVATE ${VELQUOR_WARNINGS})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src ${ARG_INCLUDES})
    set(libs ${ARG_LIBS})
    if(NOT VELQUOR_WINDOWS AND NOT target MATCHES "_fast$")
      target_compile_options(${target} PUBLIC ${VELQUOR_SANITIZE_FLAGS})
      target_link_options(${target} PUBLIC ${VELQUOR_SANITIZE_FLAGS})
      if(VELQUOR_FUZZING)
        target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
      endif()
      list(TRANSFORM libs REPLACE "_fast$" "")
    elseif(NOT VELQUOR_WINDOWS)
      target_compile_options(${target} PRIVATE -O2)
      # The optimised variant of each library where one exists (interface libraries and system
      # libraries have none); decided at generation, when every target is known.
      set(fast_libs "")
      foreach(lib ${libs})
        string(REGEX REPLACE "_fast$" "" base "${lib}")
        list(APPEND fast_libs "$<IF:$<TARGET_EXISTS:${base}_fast>,${base}_fast,${base}>")
      endforeach()
      set(libs ${fast_libs})
    endif()
    target_link_libraries(${target} PUBLIC ${libs})
  endforeach()
endfunction()

# velquor_test(NAME SOURCES... LIBS libs...)
# A GoogleTest program. Native: one CTest entry per test case. Windows: the program runs as
# one CTest entry under Wine (starting Wine once per case would cost minutes).
function(velquor_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${VELQUOR_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main GTest::gmock)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE VELQUOR_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data")
  if(VELQUOR_WINDOWS)
    add_test(NAME ${name} COMMAND ${name} --gtest_color=no WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    set_tests_properties(${name} PROPERTIES TIMEOUT 600)
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  endif()
endfunction()
