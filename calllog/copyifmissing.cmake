# cmake -DSOURCE=<file> -DTARGET=<file> -P copyifmissing.cmake
# Copies SOURCE to TARGET only when TARGET does not exist yet.
if(NOT EXISTS "${TARGET}")
  get_filename_component(target_dir "${TARGET}" DIRECTORY)
  file(MAKE_DIRECTORY "${target_dir}")
  file(COPY_FILE "${SOURCE}" "${TARGET}")
endif()
