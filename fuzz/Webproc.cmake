# The HTTP message reader, the multipart upload and the table renderer.
if(TARGET webproc)
  # The fuzzers link their own instrumented copy of the library's code: without it the
  # fuzzer sees no coverage and ASan no faults inside the shared library, and the
  # shared library itself must stay plain for the programs that load it.
  get_target_property(qv_webproc_dir webproc SOURCE_DIR)
  get_target_property(qv_webproc_sources webproc SOURCES)
  list(TRANSFORM qv_webproc_sources PREPEND ${qv_webproc_dir}/)
  add_library(webproc_fuzz STATIC ${qv_webproc_sources})
  qv_target_defaults(webproc_fuzz)
  target_compile_options(webproc_fuzz PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
  target_link_libraries(webproc_fuzz PUBLIC vessel roster logbook qv_common qv_os)

  qv_fuzz(fuzz_webproc_scan SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/FuzzWebprocScan.cpp
          LINKS webproc_fuzz)
  qv_fuzz(fuzz_webproc_upload SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/FuzzWebprocUpload.cpp
          LINKS webproc_fuzz)
  qv_fuzz(fuzz_webproc_table SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/FuzzWebprocTable.cpp
          LINKS webproc_fuzz)
endif()
