cmake_minimum_required(VERSION 3.25)
# tolvanex-cli.exe --catalogue under wine, over the in-memory HID stack: the
# release's file found beside a catalogue named by a Windows path, its
# SHA-256 from CNG, its image sent whole; a file whose SHA-256 is not the
# catalogue's refused with nothing sent.
# -DWINE=... -DFAKE=... -DHEX=... -DWORK=...
set(ENV{WINEDEBUG} "-all")
set(ENV{TVX_FAKE_HID} "controller")
set(ENV{TVX_FAKE_STREAMS} "Z:${WORK}/streams")
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/site/releases")
file(COPY_FILE ${HEX} "${WORK}/site/releases/1.2.hex")
file(WRITE "${WORK}/site/releases/1.1.hex" ":0100000001FE\n")
file(SHA256 "${WORK}/site/releases/1.2.hex" sha)
# 1.1 is given 1.2's SHA-256: not its own.
foreach(version 1.2 1.1)
  list(APPEND releases "{\"version\":\"${version}\",\"date\":\"2026-11-30\",\"file\":\"releases/${version}.hex\",\"sha256\":\"${sha}\",\"notes\":\"\"}")
endforeach()
list(JOIN releases "," releases)
file(WRITE "${WORK}/site/firmware.json" "{\"format\":1,\"releases\":[${releases}]}")
string(REPLACE "/" "\\" catalogue "Z:${WORK}/site/firmware.json")

foreach(version 1.2 1.1)
  file(REMOVE_RECURSE "${WORK}/streams")
  file(MAKE_DIRECTORY "${WORK}/streams")
  execute_process(COMMAND ${WINE} ${FAKE} flash --catalogue=${catalogue} --release=${version} INPUT_FILE /dev/null
                  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  string(REPLACE "\r" "" out "${out}")
  set(sent 0)
  if(EXISTS "${WORK}/streams/fake-controller")
    file(STRINGS "${WORK}/streams/fake-controller" lines)
    list(LENGTH lines sent)
  endif()
  set(${version}_result "${rc} ${sent}")
endforeach()
string(REPLACE "/" "\\" refused "Z:${WORK}/site/releases/1.1.hex»: el archivo de la versión 1.1 no es el que publica el catálogo")
string(FIND "${err}" "${refused}" at)
if(NOT 1.2_result STREQUAL "0 2049" OR NOT 1.1_result STREQUAL "2 0" OR at EQUAL -1)
  message(FATAL_ERROR "1.2 (exit, reports): ${1.2_result}, want 0 2049; 1.1: ${1.1_result}, want 2 0\nstderr of 1.1:\n${err}")
endif()
