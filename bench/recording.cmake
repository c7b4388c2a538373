if(TARGET recorder)
  tembrel_add_bench(recording LIBS recorder)
endif()
