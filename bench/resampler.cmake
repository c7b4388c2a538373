# The rate converter and whole conversions against sox on the same data, in one run.
tembrel_add_bench(resampler LIBS deaudio platform_acm)
if(TARGET tembrel-convert)
  add_dependencies(bench_resampler tembrel-convert)
  target_compile_definitions(bench_resampler PRIVATE TEMBREL_CONVERT_EXE="$<TARGET_FILE:tembrel-convert>")
endif()
