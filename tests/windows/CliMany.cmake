cmake_minimum_required(VERSION 3.25)
# The Windows tool over the in-memory repair bench (tests/cli/fake_cli.cpp)
# under wine: list by controller, flash --all (one failing), --device.
# -DWINE=... -DFAKE=... -DHEX=... -DWORK=...
set(ENV{WINEDEBUG} "-all")
set(ENV{TVX_FAKE_HID} "bench")
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

function(run name)
  file(REMOVE_RECURSE "${WORK}/streams")
  file(MAKE_DIRECTORY "${WORK}/streams")
  set(ENV{TVX_FAKE_STREAMS} "Z:${WORK}/streams")
  execute_process(COMMAND ${WINE} ${FAKE} ${ARGN} INPUT_FILE /dev/null
                  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  string(REPLACE "\r" "" out "${out}")
  string(REPLACE "\r" "" err "${err}")
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
  set(${name}_rc "${rc}" PARENT_SCOPE)
  # What each interface received: its number of reports.
  set(got "")
  foreach(i a0 a1 b0 c0)
    set(n 0)
    if(EXISTS "${WORK}/streams/fake-${i}")
      file(STRINGS "${WORK}/streams/fake-${i}" lines)
      list(LENGTH lines n)
    endif()
    string(APPEND got " ${n}")
  endforeach()
  string(STRIP "${got}" got)
  set(${name}_got "${got}" PARENT_SCOPE)
endfunction()

function(expect what)
  if(NOT (${ARGN}))
    message(FATAL_ERROR "${what}\nstdout:\n${out}\nstderr:\n${err}")
  endif()
endfunction()

run(list list)
message(STATUS "fake_cli.exe list:\n${out}")
expect("list: exit code" list_rc STREQUAL "0")
expect("list: 1-1's two interfaces under it"
       out MATCHES "Mando en 1-1, número de serie TVX-A, versión 0100: una actualización de este mando tomaría \\[0\\]\n  \\[0\\] /dev/fake-a0\n[^[]*  \\[1\\] /dev/fake-a1\n")
expect("list: the others" out MATCHES "Mando en 1-2, número de serie TVX-B" AND out MATCHES "flash --all actualizaría 3 de 3 mandos.\n")

run(json list --json)
string(JSON count LENGTH "${out}" controllers)
string(JSON place GET "${out}" controllers 0 place)
string(JSON first GET "${out}" controllers 0 interfaces 1)
expect("list --json: controllers" count EQUAL 3 AND place STREQUAL "1-1" AND first EQUAL 1)

run(all flash --all ${HEX})
expect("flash --all: exit code" all_rc STREQUAL "0")
expect("flash --all: each controller its stream" all_got STREQUAL "2049 0 2049 2049")
expect("flash --all: the summary" out STREQUAL "Actualizados 3 de 3 mandos:\n  1-1: Actualización OK!!!!\n  1-2: Actualización OK!!!!\n  1-3: Actualización OK!!!!\n")

set(ENV{TVX_FAKE_FAIL} "1-2")
run(fail flash --all --progress=json ${HEX})
unset(ENV{TVX_FAKE_FAIL})
expect("flash --all, one fails: exit code" fail_rc STREQUAL "4")
expect("flash --all, one fails: the streams" fail_got STREQUAL "2049 0 100 2049")
expect("flash --all, one fails: the summary event last"
       out MATCHES "{\"event\":\"summary\",\"ok\":false,\"updated\":2,\"failed\":1,\"skipped\":0,\"message\":\"Actualizados 2 de 3 mandos\"}\n$")
expect("flash --all, one fails: on stderr too" err MATCHES "1-2: Error sucedido!")

run(pick flash --device=serial:TVX-B ${HEX})
expect("flash --device=serial:TVX-B" pick_rc STREQUAL "0" AND pick_got STREQUAL "0 0 2049 0")
