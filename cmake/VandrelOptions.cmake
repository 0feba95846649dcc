# Warning and sanitizer settings for the project's own targets.

add_library(vandrel_warnings INTERFACE)
target_compile_options(vandrel_warnings INTERFACE -Wall -Wextra -Werror)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  # g++ 12 reports false -Wrestrict overlaps inside std::string at -O3 (GCC bug 105651).
  target_compile_options(vandrel_warnings INTERFACE -Wno-restrict)
endif()

if(VANDREL_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(VANDREL_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT VANDREL_SANITIZE STREQUAL "")
  message(FATAL_ERROR "VANDREL_SANITIZE must be '', 'address' or 'thread'")
endif()

if(VANDREL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "VANDREL_FUZZ needs clang (configure with CXX=clang++ CC=clang)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# vandrel_add_test(NAME target SOURCES ... LIBS ... [LABELS label ...])
# One test program, registered as one ctest entry of the same name: its
# cases run in one process (starting a process per case would cost more
# than most cases), and gtest names each failing case in the output that
# `ctest --output-on-failure` shows. The program finds its data files in the
# data/ folder beside its sources (kvtest::TestDataFolder; ctest also sets
# VANDREL_TEST_DATA). Each label also gets a target vandrel_tests_<label>
# that builds the programs carrying it: "threads" marks the programs that
# scripts/test.sh runs under ThreadSanitizer as well.
function(vandrel_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} vandrel_testsupport GTest::gtest GTest::gtest_main
                        vandrel_warnings)
  set(data ${CMAKE_CURRENT_SOURCE_DIR}/data)
  target_compile_definitions(${T_NAME} PRIVATE VANDREL_TEST_DATA_DIR="${data}")
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "VANDREL_TEST_DATA=${data}")
  if(T_LABELS)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
    foreach(label ${T_LABELS})
      if(NOT TARGET vandrel_tests_${label})
        add_custom_target(vandrel_tests_${label})
      endif()
      add_dependencies(vandrel_tests_${label} ${T_NAME})
    endforeach()
  endif()
endfunction()

# vandrel_add_qt_test(NAME target SOURCES ... LIBS ... [LABELS label ...])
# A Qt Test program of the desktop program (QTEST_MAIN in its source),
# registered like vandrel_add_test and run on the offscreen platform, so
# it needs no display.
function(vandrel_add_qt_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  set_target_properties(${T_NAME} PROPERTIES AUTOMOC ON)
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} vandrel_testsupport Qt6::Test Qt6::Widgets vandrel_warnings)
  set(data ${CMAKE_CURRENT_SOURCE_DIR}/data)
  target_compile_definitions(${T_NAME} PRIVATE VANDREL_TEST_DATA_DIR="${data}")
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "VANDREL_TEST_DATA=${data};QT_QPA_PLATFORM=offscreen")
  set_tests_properties(${T_NAME} PROPERTIES LABELS "gui;${T_LABELS}")
  foreach(label gui ${T_LABELS})
    if(NOT TARGET vandrel_tests_${label})
      add_custom_target(vandrel_tests_${label})
    endif()
    add_dependencies(vandrel_tests_${label} ${T_NAME})
  endforeach()
endfunction()

# vandrel_add_fuzzer(NAME target SOURCES ... LIBS ...)
function(vandrel_add_fuzzer)
  cmake_parse_arguments(F "" "NAME" "SOURCES;LIBS" ${ARGN})
  if(VANDREL_FUZZ)
    add_executable(${F_NAME} ${F_SOURCES})
    target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
  endif()
endfunction()
