# One warning policy for both compilers.
function(vidorra_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()
