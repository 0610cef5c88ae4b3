# Warnings for our own code; JUCE comes in as system headers.
function(belvora_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wno-missing-field-initializers)
endfunction()
