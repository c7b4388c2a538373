if(TARGET app)
  tembrel_add_bench(statistics WIDGETS DELIVERED_LOG LIBS app)
endif()
