# The numbers of each contract between the page's JavaScript and the program,
# written out from the C++ headers that name them as a JavaScript library:
# $TvxContract, one object per enum ({kName: value}). Values are decimal
# literals; a test holds the file against the compiled enums.
set(TOLVANEX_WEB_CONTRACT_ENUMS
  "${PROJECT_SOURCE_DIR}/ui/web/WebContract.h:ControlKind"
  "${PROJECT_SOURCE_DIR}/ui/web/WebContract.h:ControlFlags"
  "${PROJECT_SOURCE_DIR}/sys/ErrorText.h:SysErrorKind")

function(tolvanex_web_contract out)
  set(js "// Written by web/Contract.cmake from the C++ headers: do not edit.\nmergeInto(LibraryManager.library, {\n  $TvxContract: {\n")
  foreach(entry ${TOLVANEX_WEB_CONTRACT_ENUMS})
    string(REGEX REPLACE ":[^:]*$" "" header "${entry}")
    string(REGEX REPLACE "^.*:" "" name "${entry}")
    file(READ "${header}" text)
    string(REGEX REPLACE "//[^\n]*" "" text "${text}")
    string(REGEX MATCH "enum( class)? ${name}[^{;]*{[^}]*}" block "${text}")
    if(NOT block)
      message(FATAL_ERROR "${header}: no enum ${name}")
    endif()
    string(REGEX MATCHALL "k[A-Za-z0-9_]+[ \t\n]*=[ \t\n]*[0-9]+" pairs "${block}")
    set(fields)
    foreach(pair ${pairs})
      string(REGEX REPLACE "[ \t\n]" "" pair "${pair}")
      string(REPLACE "=" ": " pair "${pair}")
      list(APPEND fields "${pair}")
    endforeach()
    list(JOIN fields ", " fields)
    string(APPEND js "    ${name}: {${fields}},\n")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${header}")
  endforeach()
  string(APPEND js "  },\n});\n")
  file(CONFIGURE OUTPUT "${out}" CONTENT "${js}" @ONLY)
endfunction()
