# Warnings for the project's own targets (never for generated code). With
# VANTREL_WERROR every warning stops the build; clang also checks variable
# shadowing and the lock annotations (thread-safety analysis).
function(vantrel_enable_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    target_compile_options(${target} PRIVATE -Wshadow -Wthread-safety)
  endif()
  if(VANTREL_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# Sanitizers apply to everything built in this tree: "address,undefined" or "thread".
function(vantrel_enable_sanitizers list)
  if(list)
    add_compile_options(-fsanitize=${list} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${list})
  endif()
endfunction()
