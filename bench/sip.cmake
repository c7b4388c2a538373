if(TARGET session)
  # The far end's agent and the private sound server are the tests' own helpers.
  tembrel_add_bench(sip DELIVERED_LOG LIBS session)
  target_sources(bench_sip PRIVATE ${CMAKE_SOURCE_DIR}/tests/support/soundserver.cpp
    ${CMAKE_SOURCE_DIR}/tests/support/autoansweringagent.cpp)
  target_include_directories(bench_sip PRIVATE ${CMAKE_SOURCE_DIR}/tests)
endif()
