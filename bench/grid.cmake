if(TARGET grid)
  tembrel_add_bench(grid WIDGETS LIBS grid)
endif()
