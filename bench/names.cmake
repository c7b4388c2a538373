if(TARGET session)
  tembrel_add_bench(names LIBS session)
  target_compile_definitions(bench_names PRIVATE TEMBREL_DELIVERED_DATA_XML="${CMAKE_SOURCE_DIR}/data/data.xml")
endif()
