if(TARGET platform_report_paint)
  tembrel_add_bench(report WIDGETS LIBS platform_report_paint)
  # The list report the engine's tests use: one report for tests and figures.
  target_sources(bench_report PRIVATE ${CMAKE_SOURCE_DIR}/tests/platform/report/reportsamples.cpp)
  target_include_directories(bench_report PRIVATE ${CMAKE_SOURCE_DIR}/tests/platform/report)
endif()
