cmake_minimum_required(VERSION 3.25)
# tolvanex-cli.exe opens and writes files whose names lie outside the system's
# ANSI code page: Greek names under code page 936, Chinese under 1253 (wine
# takes the code page from the locale), and both under 1252; and in a path
# longer than 260 characters.
# -DWINE=... -DCLI=... -DHEX=... -DWORK=... -DLOCALES=...
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
# Wine names Unix files in the Unix locale's character set, so each language
# needs a real UTF-8 locale; built here from Debian's locale sources, for this
# test alone (LOCPATH), without touching the system's.
foreach(locale el_GR zh_CN en_US)
  if(NOT EXISTS ${LOCALES}/${locale}.UTF-8)
    file(MAKE_DIRECTORY ${LOCALES})
    execute_process(COMMAND localedef -i ${locale} -f UTF-8 ${LOCALES}/${locale}.UTF-8 RESULT_VARIABLE rc)
    if(NOT EXISTS ${LOCALES}/${locale}.UTF-8)
      message(FATAL_ERROR "localedef ${locale}.UTF-8 failed (${rc}): Debian package locales")
    endif()
  endif()
endforeach()
execute_process(COMMAND ${WINE} ${CLI} checksum ${HEX} INPUT_FILE /dev/null
                OUTPUT_VARIABLE want RESULT_VARIABLE rc)
string(REPLACE "\r" "" want "${want}")
if(NOT rc STREQUAL "0" OR NOT want MATCHES "^[0-9A-F][0-9A-F][0-9A-F][0-9A-F]\n$")
  message(FATAL_ERROR "checksum of the sample: exit ${rc}, output '${want}'")
endif()
# expect_image LANG IN OUT: `image IN -o OUT` in that locale writes the image.
function(expect_image lang in out)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env LOCPATH=${LOCALES} LANG=${lang} LC_ALL=${lang} ${WINE} ${CLI} image "${in}" -o "${out}"
                  INPUT_FILE /dev/null ERROR_VARIABLE err RESULT_VARIABLE rc)
  set(size 0)
  if(EXISTS "${out}")
    file(SIZE "${out}" size)
  endif()
  if(NOT rc STREQUAL "0" OR NOT size EQUAL 16384)
    message(FATAL_ERROR "${lang}: image ${in} -o ${out}: exit ${rc}, ${size} bytes\n${err}")
  endif()
endfunction()
foreach(lang el_GR.UTF-8 zh_CN.UTF-8 en_US.UTF-8)
  foreach(name "αβγ" "中文")
    set(in "${WORK}/${name}-${lang}.hex")
    set(out "${WORK}/${name}-${lang}.bin")
    file(COPY_FILE ${HEX} "${in}")
    execute_process(COMMAND ${CMAKE_COMMAND} -E env LOCPATH=${LOCALES} LANG=${lang} LC_ALL=${lang} ${WINE} ${CLI} checksum "${in}"
                    INPUT_FILE /dev/null OUTPUT_VARIABLE got ERROR_VARIABLE err RESULT_VARIABLE rc)
    string(REPLACE "\r" "" got "${got}")
    if(NOT rc STREQUAL "0" OR NOT got STREQUAL want)
      message(FATAL_ERROR "${lang}: checksum ${in}: exit ${rc}, output '${got}', want '${want}'\n${err}")
    endif()
    expect_image(${lang} "${in}" "${out}")
  endforeach()
endforeach()
# FILE and OUT in a folder whose path alone is beyond 260 characters (the
# manifest lets Windows allow it where long paths are on).
string(REPEAT "carpeta-larga-" 7 part)
set(deep "${WORK}/${part}/${part}/${part}")
file(MAKE_DIRECTORY "${deep}")
file(COPY_FILE ${HEX} "${deep}/muestra.hex")
expect_image(en_US.UTF-8 "${deep}/muestra.hex" "${deep}/muestra.bin")
file(GLOB left "${WORK}/*")
list(LENGTH left count)
if(NOT count EQUAL 13)
  message(FATAL_ERROR "expected 12 files and the deep folder, found: ${left}")
endif()
