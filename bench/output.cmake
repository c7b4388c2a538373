if(TARGET output)
  tembrel_add_bench(output LIBS output)
endif()
