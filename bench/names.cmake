if(TARGET session)
  tembrel_add_bench(names DELIVERED_LOG LIBS session)
endif()
