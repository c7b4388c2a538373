if(TARGET app)
  tembrel_add_bench(statistics WIDGETS LIBS app)
  target_compile_definitions(bench_statistics PRIVATE TEMBREL_DELIVERED_DATA_XML="${CMAKE_SOURCE_DIR}/data/data.xml")
endif()
