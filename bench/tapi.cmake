if(TARGET telephony)
  tembrel_add_bench(tapi LIBS telephony)
endif()
