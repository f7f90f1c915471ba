# Installs the build into PREFIX and checks that the desktop pieces are there.
cmake_policy(VERSION 3.25)
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(expected
  bin/tolvanex-updater
  lib/udev/rules.d/70-tolvanex.rules
  share/applications/es.tolvanex.updater.desktop
  share/metainfo/es.tolvanex.updater.metainfo.xml
  share/icons/hicolor/scalable/apps/tolvanex-updater.svg
  share/man/man1/tolvanex-cli.1
  share/man/man1/tolvanex-updater.1
  share/bash-completion/completions/tolvanex-cli)
foreach(size 16 24 32 48 64 72 96 128 256 512)
  list(APPEND expected share/icons/hicolor/${size}x${size}/apps/tolvanex-updater.png)
endforeach()
foreach(file IN LISTS expected)
  if(NOT EXISTS "${PREFIX}/${file}")
    message(FATAL_ERROR "missing after install: ${file}")
  endif()
endforeach()
execute_process(COMMAND test -x "${PREFIX}/bin/tolvanex-updater" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "bin/tolvanex-updater is not executable")
endif()

# The entry starts the installed program by name and shows the installed icon.
file(STRINGS "${PREFIX}/share/applications/es.tolvanex.updater.desktop" entry)
foreach(line "Name=Tolvanex Updater" "Exec=tolvanex-updater" "Icon=tolvanex-updater" "Categories=Utility;")
  if(NOT line IN_LIST entry)
    message(FATAL_ERROR "desktop entry lacks '${line}'")
  endif()
endforeach()
find_program(VALIDATE desktop-file-validate)
if(VALIDATE)
  execute_process(COMMAND "${VALIDATE}" "${PREFIX}/share/applications/es.tolvanex.updater.desktop"
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "desktop-file-validate rejects the entry")
  endif()
endif()
file(REMOVE_RECURSE "${PREFIX}")
