# The shell library (frame, connect dialog). The program itself lives in studio/app,
# above both the shell and the object windows.
add_library(qv_shell STATIC Shell.cpp ConnectDialog.cpp Shell.h ConnectDialog.h)
qv_target_defaults(qv_shell)
target_link_libraries(qv_shell PUBLIC qv_gui qv_session qv_settings qv_resources qv_os)

# A tour through the studio's states for screenshots and the start-up measurement.
add_executable(quorvelide-tour tools/Tour.cpp)
qv_target_defaults(quorvelide-tour)
target_link_libraries(quorvelide-tour PRIVATE qv_shell)

file(GLOB QV_SHELL_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/Shell*.cpp)
if(QV_SHELL_TESTS)
  # The devserver's folder comes later in the build; its target is known by generation.
  set(QV_SHELL_TEST_ENV ${QV_GUI_TEST_ENV})
  if(EXISTS ${PROJECT_SOURCE_DIR}/devserver/CMakeLists.txt)
    list(APPEND QV_SHELL_TEST_ENV "QV_DEVSERVER=$<TARGET_FILE:quorvel-devserver>")
  endif()
  qv_test(shell_tests SOURCES ${QV_SHELL_TESTS} LINKS qv_shell LABELS gui ENV ${QV_SHELL_TEST_ENV})
  if(EXISTS ${PROJECT_SOURCE_DIR}/devserver/CMakeLists.txt AND TARGET shell_tests)
    add_dependencies(shell_tests quorvel-devserver)
  endif()
endif()
