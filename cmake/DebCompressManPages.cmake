# Run by CPack in its staging folder, before it makes the .deb: Debian wants
# manual pages compressed with gzip -9n (no name, no time stamp), whereas
# `cmake --install` leaves them as they are.
file(GLOB_RECURSE pages LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/man/*")
foreach(page IN LISTS pages)
  if(page MATCHES "\\.[0-9][a-z]*$" AND NOT IS_SYMLINK "${page}")
    execute_process(COMMAND gzip -9nf "${page}" RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "gzip ${page} failed: ${result}")
    endif()
  endif()
endforeach()
