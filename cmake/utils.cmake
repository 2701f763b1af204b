# Warnings for the project's own targets (never for generated code).
function(vantrel_enable_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

# Sanitizers apply to everything built in this tree: "address,undefined" or "thread".
function(vantrel_enable_sanitizers list)
  if(list)
    add_compile_options(-fsanitize=${list} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${list})
  endif()
endfunction()
