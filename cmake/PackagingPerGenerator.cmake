# Read by CPack once for each generator (CPACK_PROJECT_CONFIG_FILE).
if(CPACK_GENERATOR MATCHES "^NSIS")
  set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}-setup")
endif()

# Two builds of one commit give the same bytes: the commit's time stands for
# "now" wherever the packages would record it. strip writes it as the
# programs' PE time stamp, PackageTimes.cmake as the files' times. A time the
# caller sets is kept.
if(CPACK_TOLVANEX_SOURCE_DIR AND "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(epoch)
  if(CPACK_TOLVANEX_GIT)
    execute_process(COMMAND "${CPACK_TOLVANEX_GIT}" -C "${CPACK_TOLVANEX_SOURCE_DIR}" log -1 --format=%ct
                    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
  if(epoch MATCHES "^[0-9]+$")
    set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
  else()
    message(WARNING "No commit to take the packages' time from (set SOURCE_DATE_EPOCH): "
                    "they record the time of the build, and a second build gives other bytes.")
  endif()
endif()
