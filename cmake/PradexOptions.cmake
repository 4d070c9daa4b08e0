# Warnings and sanitizers for the project's own targets.
function(pradex_target_options target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

if(PRADEX_SANITIZE)
  string(REPLACE ";" "," _pradex_san "${PRADEX_SANITIZE}")
  add_compile_options(-fsanitize=${_pradex_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${_pradex_san})
endif()

# Coverage for libFuzzer in every target (clang only); the fuzz targets link libFuzzer itself.
option(PRADEX_LIBFUZZER "Build the fuzz targets for libFuzzer (clang)" OFF)
if(PRADEX_LIBFUZZER)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
