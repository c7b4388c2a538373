if(TARGET grid)
  tembrel_add_bench(grid LIBS grid)
endif()
