# Shared build helpers: one place for warnings, test registration and installation.

set(QV_WARNINGS -Wall -Wextra -Werror)

# qv_target_defaults(<target>): our warnings and the repository root as include root,
# so headers are included as "vessel/Vessel.h", "platform/os/Files.h", ...
function(qv_target_defaults target)
  target_compile_options(${target} PRIVATE ${QV_WARNINGS})
  target_include_directories(${target} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
    $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/quorvel>)
endfunction()

# qv_install_headers(<subdir> [COMPONENT <dev component>] <headers...>): headers go under
# include/quorvel/<subdir>, so an installed header is included by the same path as in the
# tree. The component is "dev" (the Qt-free libraries) unless named.
function(qv_install_headers subdir)
  cmake_parse_arguments(A "" "COMPONENT" "" ${ARGN})
  if(NOT A_COMPONENT)
    set(A_COMPONENT dev)
  endif()
  install(FILES ${A_UNPARSED_ARGUMENTS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quorvel/${subdir}
    COMPONENT ${A_COMPONENT})
endfunction()

# qv_library_interface(<target> <map>): what a shared library exports. Its symbols are
# hidden unless a header marks them; the version script (cmake/symbols/<map>.map) gives
# the exported ones their version node and keeps the rest, the standard library's
# template instances above all, local. Every symbol it uses must be defined by what it
# links (-z defs), so its NEEDED entries are complete.
function(qv_library_interface target map)
  set(script ${PROJECT_SOURCE_DIR}/cmake/symbols/${map}.map)
  set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON LINK_DEPENDS ${script})
  target_link_options(${target} PRIVATE LINKER:--version-script=${script})
  if(NOT QV_SANITIZE)
    target_link_options(${target} PRIVATE LINKER:-z,defs)
  endif()
endfunction()

# qv_install_library(<target> <component> <dev component> <pkg-config Requires>
#                    <export name>): the shared object with its soname link in <component>
# (one Debian package per library), the development link, the CMake component
# Quorvel::<export name> (its own targets file, for find_package(Quorvel COMPONENTS ...))
# and quorvel-<export name>.pc in <dev component>.
function(qv_install_library target component devComponent requires exportName)
  set_target_properties(${target} PROPERTIES
    VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR} EXPORT_NAME ${exportName})
  install(TARGETS ${target} EXPORT Quorvel-${exportName}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ${component}
      NAMELINK_COMPONENT ${devComponent})
  qv_install_export(${exportName} ${devComponent})
  qv_install_pkgconfig(${target} ${exportName} "${requires}" ${devComponent})
endfunction()

# qv_install_pkgconfig(<target> <export name> <Requires> <dev component>): quorvel-<export name>.pc.
function(qv_install_pkgconfig target exportName requires devComponent)
  set(QV_PC_NAME quorvel-${exportName})
  set(QV_PC_REQUIRES "${requires}")
  set(QV_PC_LIB ${target})
  # Relative to the .pc file, so the prefix can move (a package, or any --prefix).
  file(RELATIVE_PATH QV_PC_UP /r/${CMAKE_INSTALL_LIBDIR}/pkgconfig /r)
  set(QV_PC_PREFIX "\${pcfiledir}/${QV_PC_UP}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/quorvel-lib.pc.in
    ${PROJECT_BINARY_DIR}/pkgconfig/quorvel-${exportName}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/quorvel-${exportName}.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT ${devComponent})
endfunction()

# qv_install_export(<export name> <dev component>): the targets file of one CMake component.
function(qv_install_export exportName devComponent)
  install(EXPORT Quorvel-${exportName} NAMESPACE Quorvel::
    FILE Quorvel-${exportName}-targets.cmake
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Quorvel COMPONENT ${devComponent})
endfunction()

# qv_shared_library(<name> SOURCES ... HEADERS ... [LINKS ...] [COMPONENT ...]
#                   [DEV_COMPONENT ...] [PC_REQUIRES ...]): one of the five libraries, in a
# package of its own (component <name>). Only what its headers mark with QV_<NAME>_API
# (common/Export.h) is exported; the rest stays inside.
function(qv_shared_library name)
  cmake_parse_arguments(A "" "HEADER_DIR;COMPONENT;DEV_COMPONENT" "SOURCES;HEADERS;LINKS;PC_REQUIRES" ${ARGN})
  add_library(${name} SHARED ${A_SOURCES})
  qv_target_defaults(${name})
  qv_library_interface(${name} ${name})
  # What the installed headers need of whoever includes them.
  target_compile_features(${name} PUBLIC cxx_std_17)
  if(A_LINKS)
    target_link_libraries(${name} PUBLIC ${A_LINKS})
  endif()
  if(NOT A_COMPONENT)
    set(A_COMPONENT ${name})
  endif()
  if(NOT A_DEV_COMPONENT)
    set(A_DEV_COMPONENT dev)
  endif()
  list(JOIN A_PC_REQUIRES ", " requires)
  qv_install_library(${name} ${A_COMPONENT} ${A_DEV_COMPONENT} "${requires}" ${name})
  if(A_HEADERS)
    if(NOT A_HEADER_DIR)
      set(A_HEADER_DIR ${name})
    endif()
    qv_install_headers(${A_HEADER_DIR} COMPONENT ${A_DEV_COMPONENT} ${A_HEADERS})
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
