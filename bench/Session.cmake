# The session core: reading a long table answer, and a large download against a plain
# socket loop over the same bytes.
if(TARGET qv_session)
  qv_bench(bench_session SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/SessionBench.cpp LINKS qv_session)
endif()

# One pass of the download through Execute, as a test: the benchmark must measure what a
# download does, not fail on it.
if(TARGET bench_session AND QV_BUILD_TESTS)
  add_test(NAME bench_session_download
    COMMAND bench_session --benchmark_filter=BM_DownloadExecute/ --benchmark_min_time=0)
  set_tests_properties(bench_session_download PROPERTIES LABELS nosan
    FAIL_REGULAR_EXPRESSION "ERROR OCCURRED;Failed to match")
endif()
