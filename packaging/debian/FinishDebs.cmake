# Run by cpack once the packages are written (CPACK_POST_BUILD_SCRIPTS): finishes each one
# as a Debian maintainer would have built it (finish-deb.sh says what that takes).
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT deb MATCHES "\\.deb$")  # another generator's archive
    continue()
  endif()
  execute_process(COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/finish-deb.sh ${deb}
    RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "finishing ${deb} failed")
  endif()
endforeach()
