if(TARGET telephony)
  tembrel_add_bench(tapi LIBS telephony platform_tapi_simulated)
endif()
