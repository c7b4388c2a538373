if(TARGET calllog)
  tembrel_add_bench(calllog LIBS calllog)
  target_compile_definitions(bench_calllog PRIVATE TEMBREL_DELIVERED_DATA_XML="${CMAKE_SOURCE_DIR}/data/data.xml")
endif()
