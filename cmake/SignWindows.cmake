# Signs the Windows release (Authenticode, with osslsigncode) when it has a
# certificate: TOLVANEX_SIGN_PKCS12 names a PKCS#12 file with the key and the
# certificate chain, TOLVANEX_SIGN_PASSWORD its password, and
# TOLVANEX_SIGN_TIMESTAMP_URL, if set, an RFC 3161 time-stamping service.
# Without them it says that it leaves the files unsigned; without a
# time-stamping service it warns that the signatures end with the
# certificate. A signing that fails stops the release. A program signed once
# is signed the same for the next package (a copy kept by the program's,
# certificate's and service's hash), so the zip and the installer carry the
# same bytes.
#   As CPACK_PRE_BUILD_SCRIPTS: every program that CPack is about to pack.
#   cmake -DFILE=X.exe -P SignWindows.cmake: that file, in place (makensis's
#   !finalize for the installer and !uninstfinalize for the uninstaller).
cmake_minimum_required(VERSION 3.25)
if(DEFINED FILE)
  set(files "${FILE}")
else()
  file(GLOB_RECURSE files "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.exe")
endif()

if("$ENV{TOLVANEX_SIGN_PKCS12}" STREQUAL "" OR NOT DEFINED ENV{TOLVANEX_SIGN_PASSWORD})
  foreach(file IN LISTS files)
    get_filename_component(name "${file}" NAME)
    message(STATUS "sign: ${name} is left UNSIGNED: TOLVANEX_SIGN_PKCS12 and TOLVANEX_SIGN_PASSWORD are not set")
  endforeach()
  # makensis keeps its own output to itself unless it fails: say it here.
  if(NOT DEFINED FILE AND CPACK_GENERATOR MATCHES "^NSIS")
    message(STATUS "sign: the uninstaller and the installer are left UNSIGNED too")
  endif()
  return()
endif()

find_program(OSSLSIGNCODE osslsigncode)
if(NOT OSSLSIGNCODE)
  message(FATAL_ERROR "sign: osslsigncode not found (tools/install-deps.sh windows)")
endif()
set(timestamp)
if(NOT "$ENV{TOLVANEX_SIGN_TIMESTAMP_URL}" STREQUAL "")
  set(timestamp -ts "$ENV{TOLVANEX_SIGN_TIMESTAMP_URL}")
else()
  # Said for each step, as makensis shows its own only when it fails.
  message(WARNING "sign: signing WITHOUT A TIME STAMP (TOLVANEX_SIGN_TIMESTAMP_URL is not set): Windows stops "
                  "trusting these signatures when the certificate expires or is revoked")
endif()
file(SHA256 "$ENV{TOLVANEX_SIGN_PKCS12}" certificate_hash)
foreach(file IN LISTS files)
  get_filename_component(name "${file}" NAME)
  file(SHA256 "${file}" unsigned_hash)
  string(SHA256 key "${unsigned_hash} ${certificate_hash} $ENV{TOLVANEX_SIGN_TIMESTAMP_URL}")
  set(kept)
  if(DEFINED CPACK_PACKAGE_DIRECTORY)
    set(kept "${CPACK_PACKAGE_DIRECTORY}/_CPack_Packages/signed/${key}.exe")
    if(EXISTS "${kept}")
      file(COPY_FILE "${kept}" "${file}")
      message(STATUS "sign: ${name} signed (as for the package before)")
      continue()
    endif()
  endif()
  # The password reaches osslsigncode through a file that only we may read,
  # not on its command line.
  set(pass "${file}.pass")
  file(TOUCH "${pass}")
  file(CHMOD "${pass}" PERMISSIONS OWNER_READ OWNER_WRITE)
  file(WRITE "${pass}" "$ENV{TOLVANEX_SIGN_PASSWORD}")
  execute_process(
    COMMAND "${OSSLSIGNCODE}" sign -pkcs12 "$ENV{TOLVANEX_SIGN_PKCS12}" -readpass "${pass}" -h sha256
            -n "Tolvanex Updater" ${timestamp} -in "${file}" -out "${file}.signed"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  file(REMOVE "${pass}")
  if(NOT result EQUAL 0)
    file(REMOVE "${file}.signed")
    message(FATAL_ERROR "sign: ${name} could not be signed (${result}):\n${output}")
  endif()
  file(RENAME "${file}.signed" "${file}")
  if(kept)
    get_filename_component(kept_dir "${kept}" DIRECTORY)
    file(MAKE_DIRECTORY "${kept_dir}")
    file(COPY_FILE "${file}" "${kept}")
  endif()
  message(STATUS "sign: ${name} signed")
endforeach()
