# Warnings and sanitizers for the project's own targets.
function(pradex_target_options target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

if(PRADEX_SANITIZE)
  string(REPLACE ";" "," _pradex_san "${PRADEX_SANITIZE}")
  add_compile_options(-fsanitize=${_pradex_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${_pradex_san})
endif()

# A static library of every .cpp file of one folder; new files are picked up at the next build.
function(pradex_folder_library target dir)
  file(GLOB _srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT _srcs)
    # A folder whose sources are still to come builds as an empty library.
    set(_srcs ${CMAKE_CURRENT_BINARY_DIR}/${target}_empty.cpp)
    file(WRITE ${_srcs} "namespace pradex {}\n")
  endif()
  add_library(${target} STATIC ${_srcs})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  pradex_target_options(${target})
endfunction()
