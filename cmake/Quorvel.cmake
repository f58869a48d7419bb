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

# qv_install_headers(<subdir> <headers...>): headers go under include/quorvel/<subdir>,
# so an installed header is included by the same path as in the tree.
function(qv_install_headers subdir)
  install(FILES ${ARGN} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quorvel/${subdir} COMPONENT dev)
endfunction()

# qv_install_library(<target> <component> <pkg-config Requires> <export name>): the shared
# object with its soname link in <component>, the development link in "dev", the target
# in the exported CMake package as Quorvel::<export name> and a quorvel-<export name>.pc.
function(qv_install_library target component requires exportName)
  set_target_properties(${target} PROPERTIES
    VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR} EXPORT_NAME ${exportName})
  install(TARGETS ${target} EXPORT QuorvelTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ${component} NAMELINK_COMPONENT dev)
  set(QV_PC_NAME quorvel-${exportName})
  set(QV_PC_REQUIRES "${requires}")
  set(QV_PC_LIB ${target})
  # Relative to the .pc file, so the prefix can move (a package, or any --prefix).
  file(RELATIVE_PATH QV_PC_UP /r/${CMAKE_INSTALL_LIBDIR}/pkgconfig /r)
  set(QV_PC_PREFIX "\${pcfiledir}/${QV_PC_UP}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/quorvel-lib.pc.in
    ${PROJECT_BINARY_DIR}/pkgconfig/quorvel-${exportName}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/quorvel-${exportName}.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
endfunction()

# qv_shared_library(<name> SOURCES ... HEADERS ... [LINKS ...] [COMPONENT ...]
#                   [PC_REQUIRES ...]): one of the five libraries. Only what its headers
# mark with QV_<NAME>_API (common/Export.h) is exported; the rest stays inside.
function(qv_shared_library name)
  cmake_parse_arguments(A "" "HEADER_DIR;COMPONENT" "SOURCES;HEADERS;LINKS;PC_REQUIRES" ${ARGN})
  add_library(${name} SHARED ${A_SOURCES})
  qv_target_defaults(${name})
  set_target_properties(${name} PROPERTIES CXX_VISIBILITY_PRESET hidden)
  # What the installed headers need of whoever includes them.
  target_compile_features(${name} PUBLIC cxx_std_17)
  if(A_LINKS)
    target_link_libraries(${name} PUBLIC ${A_LINKS})
  endif()
  if(NOT A_COMPONENT)
    set(A_COMPONENT libs)
  endif()
  list(JOIN A_PC_REQUIRES ", " requires)
  qv_install_library(${name} ${A_COMPONENT} "${requires}" ${name})
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
