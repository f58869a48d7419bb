# Shared build helpers: one place for warnings, test registration and installation.

set(QV_WARNINGS -Wall -Wextra -Werror)

# qv_target_defaults(<target>): our warnings and the repository root as include root,
# so headers are included as "vessel/Vessel.h", "platform/os/Files.h", ...
function(qv_target_defaults target)
  target_compile_options(${target} PRIVATE ${QV_WARNINGS})
  target_include_directories(${target} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/quorvel>)
endfunction()

# qv_install_headers(<subdir> <headers...>): headers go under include/quorvel/<subdir>.
function(qv_install_headers subdir)
  install(FILES ${ARGN} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quorvel/${subdir})
endfunction()

# qv_shared_library(<name> SOURCES ... HEADERS ... [LINKS ...]): one of the five libraries.
function(qv_shared_library name)
  cmake_parse_arguments(A "" "HEADER_DIR" "SOURCES;HEADERS;LINKS" ${ARGN})
  add_library(${name} SHARED ${A_SOURCES})
  qv_target_defaults(${name})
  set_target_properties(${name} PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  if(A_LINKS)
    target_link_libraries(${name} PUBLIC ${A_LINKS})
  endif()
  install(TARGETS ${name} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  if(A_HEADERS)
    if(NOT A_HEADER_DIR)
      set(A_HEADER_DIR ${name})
    endif()
    qv_install_headers(${A_HEADER_DIR} ${A_HEADERS})
  endif()
endfunction()

# qv_test(<name> SOURCES ... LINKS ... [LABELS ...]): a GoogleTest program run by CTest.
# Label "tsan" marks the tests that the ThreadSanitizer run repeats.
function(qv_test name)
  if(NOT QV_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(A "" "TIMEOUT" "SOURCES;LINKS;LABELS;ENV" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  qv_target_defaults(${name})
  target_link_libraries(${name} PRIVATE ${A_LINKS} GTest::gtest GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${A_TIMEOUT} LABELS "${A_LABELS}")
  if(A_ENV)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${A_ENV}")
  endif()
endfunction()
