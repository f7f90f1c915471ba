# The web build (emcmake, see tools/build-web.sh): the floors the page needs,
# the page itself, the module the tests load in node, and the site's zip.
# Nothing of the native build: no CLI, tools, tests or packages of its own.

# The dialogs catch what their handlers throw, as on the other systems.
add_compile_options(-fexceptions)
add_link_options(-fexceptions)
set(TOLVANEX_WINDOW_BACKEND web CACHE STRING "Toolkit of the updater window: qt, win32 or web" FORCE)

add_subdirectory(sys)
add_subdirectory(device)
add_subdirectory(firmware)
add_subdirectory(ui)
add_subdirectory(app)
add_subdirectory(web)
if(TOLVANEX_BUILD_TESTS)
  add_subdirectory(tests/web)
endif()

# The site's zip: tolvanex-updater-web-VERSION.zip in packages/.
set(CPACK_PACKAGE_NAME tolvanex-updater-web)
set(CPACK_PACKAGE_VENDOR "Tolvanex, S.L.")
set(CPACK_PACKAGE_FILE_NAME tolvanex-updater-web-${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_GENERATOR ZIP)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)
