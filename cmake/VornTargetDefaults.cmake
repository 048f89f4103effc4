# Warnings are errors on our own targets only; third-party headers come in as SYSTEM.
function(vorn_target_defaults target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()
