# A large trace from its arrival to the trace dialog showing its end; needs the windows.
if(TARGET qv_windows)
  qv_bench(bench_monitor SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/MonitorBench.cpp LINKS qv_windows)
endif()
