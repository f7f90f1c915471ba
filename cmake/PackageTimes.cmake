# As CPACK_PRE_BUILD_SCRIPTS, after the signing: every file and folder that
# CPack is about to pack takes the time SOURCE_DATE_EPOCH (the commit's, see
# PackagingPerGenerator.cmake), so that the zip and the installer record the
# same times in every build of it, whenever the files were built or signed.
cmake_minimum_required(VERSION 3.25)
if("$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  return()
endif()
find_program(TOUCH touch)
if(NOT TOUCH)
  message(WARNING "touch not found: the packages record the files' own times")
  return()
endif()
file(GLOB_RECURSE entries LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
execute_process(COMMAND "${TOUCH}" -h -d "@$ENV{SOURCE_DATE_EPOCH}" ${entries} "${CPACK_TEMPORARY_INSTALL_DIRECTORY}"
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "touch failed (${result})")
endif()
