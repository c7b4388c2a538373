if(TARGET calllog)
  tembrel_add_bench(calllog DELIVERED_LOG LIBS calllog)
endif()
