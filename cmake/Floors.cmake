# The code stands in floors that only look down: sys <- device <- firmware <-
# (ui, cli) <- app. Each floor is one library. Its include root holds a single
# link, named after its folder, to that folder, so `#include "device/X.h"`
# resolves only in code that links the device floor or one above it; an
# include that climbs does not compile.
function(tolvanex_floor target folder)
  set(root ${PROJECT_BINARY_DIR}/floors/${folder})
  set(link ${root}/${folder})
  if(NOT IS_SYMLINK ${link})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${link} SYMBOLIC RESULT failed)
    if(failed)
      # No symbolic links here (Windows without the right): the build still
      # works, without the check.
      message(STATUS "${target}: no link to ${folder}/ (${failed}); upward includes are not caught here")
      target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
      return()
    endif()
  endif()
  target_include_directories(${target} PUBLIC ${root})
endfunction()
