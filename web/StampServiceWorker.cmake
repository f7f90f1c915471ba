# Writes the service worker for the site in SITE: TEMPLATE with each of FILES
# (names in SITE) and its SHA-256, and the version, a hash of them all, so
# that any change to any file makes a new worker.
#   cmake -DSITE=DIR -DTEMPLATE=FILE -DOUT=FILE "-DFILES=a;b" -P StampServiceWorker.cmake
foreach(var SITE TEMPLATE OUT FILES)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "StampServiceWorker: ${var} is not set")
  endif()
endforeach()
set(entries)
set(all)
foreach(name ${FILES})
  file(SHA256 ${SITE}/${name} hash)
  list(APPEND entries "  \"${name}\": \"${hash}\"")
  string(APPEND all "${name} ${hash}\n")
endforeach()
string(SHA256 version "${all}")
string(SUBSTRING ${version} 0 16 TVX_VERSION)
list(JOIN entries ",\n" TVX_FILES)
set(TVX_FILES "{\n${TVX_FILES},\n}")
configure_file(${TEMPLATE} ${OUT} @ONLY)
