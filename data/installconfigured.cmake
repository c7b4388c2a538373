# Runs while installing: writes the files that name the installed executables by their
# full path, which is known only now (cmake --install --prefix, or the package's /usr).
# Expects TEMBREL_DATA_SOURCE (this folder), TEMBREL_BINDIR_NAME and TEMBREL_DATADIR_NAME
# (relative to the prefix).
set(TEMBREL_BINDIR "${CMAKE_INSTALL_PREFIX}/${TEMBREL_BINDIR_NAME}")
foreach(pair IN ITEMS
    "desktop/example.tembrel.Personal.desktop.in|${TEMBREL_DATADIR_NAME}/applications/example.tembrel.Personal.desktop"
    "systemd/tembrel-headless.service.in|lib/systemd/system/tembrel-headless.service"
    "systemd/tembrel-headless.user.service.in|lib/systemd/user/tembrel-headless.service")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 source)
  list(GET pair 1 target)
  set(installed "${CMAKE_INSTALL_PREFIX}/${target}")
  message(STATUS "Installing: $ENV{DESTDIR}${installed}")
  file(READ "${TEMBREL_DATA_SOURCE}/${source}" content)
  file(CONFIGURE OUTPUT "$ENV{DESTDIR}${installed}" CONTENT "${content}" @ONLY)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${installed}")
endforeach()
