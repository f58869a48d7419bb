# The session core: reading a long table answer, and a large download against a plain
# socket loop over the same bytes.
if(TARGET qv_session)
  qv_bench(bench_session SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/SessionBench.cpp LINKS qv_session)
endif()
