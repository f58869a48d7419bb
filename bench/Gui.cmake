# The list control's paint over a long list; needs the windowing layer.
if(TARGET lister)
  qv_bench(bench_gui SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/GuiBench.cpp LINKS lister qv_gui)
endif()
