# The HTTP read loop and the table renderer.
if(TARGET webproc)
  qv_bench(bench_webproc SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/WebprocBench.cpp LINKS webproc roster)
endif()
