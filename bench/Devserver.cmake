# quorvel-devserver under load: parallel clients over loopback TCP.
if(TARGET qv_devserver)
  qv_bench(bench_devserver SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/DevserverBench.cpp LINKS qv_devserver)
endif()
