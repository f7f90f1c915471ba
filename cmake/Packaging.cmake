# Packages made by CPack from the install rules, so that whatever
# `cmake --install` installs is in them:
#   Linux:   cpack -G DEB            -> tolvanex-updater_VERSION_amd64.deb
#   Windows: cpack -G "ZIP;NSIS64"   -> tolvanex-updater-VERSION-win64.zip and
#                                       tolvanex-updater-VERSION-win64-setup.exe
# (run in the build folder; the packages land in its packages/ folder).

set(CPACK_PACKAGE_NAME tolvanex-updater)
set(CPACK_PACKAGE_VENDOR "Tolvanex, S.L.")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware updater for Tolvanex SWITCH Controllers")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
# The build keeps its debug information; the packages do without it.
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  # No comma in the name: the field is a mail address, and CPack cannot quote it.
  set(TOLVANEX_PACKAGE_MAINTAINER "Tolvanex S.L. <soporte@tolvanex.invalid>"
      CACHE STRING "Maintainer of the .deb, name and mail address")
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TOLVANEX_PACKAGE_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Below the synopsis, which is the summary above.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tolvanex Updater rewrites the firmware of the Tolvanex SWITCH game controller
over USB (HID, 0E8F:310D). It reads an Intel HEX file into the 16 KiB firmware
image, shows the image's checksum and sends the image to the controller.

The package holds the updater window (Qt, in Spanish), the command-line tool
tolvanex-cli for scripts, and a udev rule that lets the user at the seat reach
the controller without root.")
  # The libraries come from dpkg-shlibdeps; what the window loads by name does not.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  if(TARGET tolvanex-updater)
    # The dialog font's metrics, and Qt's own texts in Spanish.
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-arphic-uming, qt6-translations-l10n")
  endif()
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
      ${PROJECT_SOURCE_DIR}/res/linux/postinst ${PROJECT_SOURCE_DIR}/res/linux/postrm)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/DebCompressManPages.cmake)

  # copyright and changelog where Debian looks for them. The licence text is
  # LICENSE's, in the machine-readable copyright format.
  set(debian_doc ${PROJECT_BINARY_DIR}/debian)
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
  string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)" _ "${license}")
  set(copyright_holder "${CMAKE_MATCH_1}")
  string(REGEX REPLACE "^.*\nPermission" "Permission" license_terms "${license}")
  string(STRIP "${license_terms}" license_terms)
  string(REPLACE "\n\n" "\n.\n" license_terms "${license_terms}")
  string(REPLACE "\n" "\n " license_terms "${license_terms}")
  file(CONFIGURE OUTPUT ${debian_doc}/copyright @ONLY CONTENT
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Tolvanex Updater
Upstream-Contact: ${TOLVANEX_PACKAGE_MAINTAINER}

Files: *
Copyright: ${copyright_holder}
License: Expat
 ${license_terms}
")
  configure_file(${PROJECT_SOURCE_DIR}/res/linux/changelog.in ${debian_doc}/changelog @ONLY)
  execute_process(COMMAND gzip -9nc ${debian_doc}/changelog OUTPUT_FILE ${debian_doc}/changelog.gz
                  RESULT_VARIABLE gzip_result)
  if(NOT gzip_result EQUAL 0)
    message(FATAL_ERROR "gzip of the Debian changelog failed: ${gzip_result}")
  endif()
  install(FILES ${debian_doc}/copyright ${debian_doc}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tolvanex-updater)
elseif(WIN32)
  set(CPACK_GENERATOR "ZIP;NSIS64")
  set(CPACK_PACKAGE_INSTALL_DIRECTORY "Tolvanex Updater")
  set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Tolvanex Updater")
  set(CPACK_NSIS_PACKAGE_NAME "Tolvanex Updater")
  set(CPACK_NSIS_DISPLAY_NAME "Tolvanex Updater")
  set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/res/windows/tolvanex.ico)
  set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/res/windows/tolvanex.ico)
  set(CPACK_TOLVANEX_SIDE_BITMAP ${PROJECT_SOURCE_DIR}/res/windows/installer-side.bmp)
  # Our installer script (res/windows/NSIS.template.in) instead of CPack's.
  list(PREPEND CMAKE_MODULE_PATH ${PROJECT_SOURCE_DIR}/res/windows)
  # The installer's name says what it is, beside the program in the zip; the
  # commit's time for what is packed.
  set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/PackagingPerGenerator.cmake)
  find_package(Git QUIET)
  set(CPACK_TOLVANEX_GIT "${GIT_EXECUTABLE}")
  set(CPACK_TOLVANEX_SOURCE_DIR ${PROJECT_SOURCE_DIR})
  # Signed when the release has a certificate (see the script): the programs
  # before they are packed, the uninstaller and the installer as makensis
  # writes them. Then every file packed gets the commit's time.
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/SignWindows.cmake
                              ${PROJECT_SOURCE_DIR}/cmake/PackageTimes.cmake)
  set(CPACK_TOLVANEX_CMAKE ${CMAKE_COMMAND})
  set(CPACK_TOLVANEX_SIGN_SCRIPT ${PROJECT_SOURCE_DIR}/cmake/SignWindows.cmake)

  # Beside the programs: a short Spanish README, our licence and the notices
  # of the mingw-w64 runtime that is linked in statically; with Windows line ends.
  set(windows_doc ${PROJECT_BINARY_DIR}/windows-doc)
  configure_file(${PROJECT_SOURCE_DIR}/res/windows/README.txt.in ${windows_doc}/README.txt
                 @ONLY NEWLINE_STYLE CRLF)
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${windows_doc}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(${PROJECT_SOURCE_DIR}/res/windows/LICENSE-mingw-w64.txt ${windows_doc}/LICENSE-mingw-w64.txt
                 @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${windows_doc}/README.txt ${windows_doc}/LICENSE.txt ${windows_doc}/LICENSE-mingw-w64.txt
          DESTINATION .)
endif()

include(CPack)
