# Settings shared by every target of our own.

# Warnings are errors on our code; third-party headers come in as system headers.
function(kordela_target_defaults target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
    target_compile_definitions(${target} PUBLIC KORDELA_HOST_VERSION=${KORDELA_HOST_VERSION})
endfunction()
