# Most of the time spent on one of our files went to parsing JUCE's module
# headers again (and GoogleTest's, for a test): a target group parses them once,
# and each of its files starts from that. The group's first target compiles the
# headers and the others reuse them, so the targets of a group must share their
# compile options (a sanitizer or coverage option in one only would make the
# compiler refuse them, or ignore them and parse as before).
# -DBELVORA_PRECOMPILED_HEADERS=OFF builds without, so each file must still
# include what it uses.
option(BELVORA_PRECOMPILED_HEADERS "Parse JUCE's and GoogleTest's headers once per group of targets" ON)

# Not the picture and sound modules: a header of theirs in every file would draw
# their libraries into the scripts' host, which loads none (its test says so).
set(BELVORA_PCH_CORE
    <juce_core/juce_core.h> <juce_events/juce_events.h> <juce_data_structures/juce_data_structures.h>
    <juce_cryptography/juce_cryptography.h> <juce_audio_basics/juce_audio_basics.h>)
set(BELVORA_PCH_GUI <juce_graphics/juce_graphics.h> <juce_gui_basics/juce_gui_basics.h>)
set(BELVORA_PCH_TESTS <gtest/gtest.h> <gmock/gmock.h>)

# belvora_precompiled(<target> <group>): the group is "core" or "gui" (the modules
# the target links), with "-tests" for GoogleTest too; any other suffix makes a
# group of its own. The window modules never go to a target below the interface.
function(belvora_precompiled target group)
    if(NOT BELVORA_PRECOMPILED_HEADERS)
        return()
    endif()

    get_property(donor GLOBAL PROPERTY belvora_pch_donor_${group})

    if(donor)
        target_precompile_headers(${target} REUSE_FROM ${donor})
        return()
    endif()

    set(headers ${BELVORA_PCH_CORE})

    if(group MATCHES "^gui")
        list(APPEND headers ${BELVORA_PCH_GUI})
    endif()

    if(group MATCHES "-tests")
        list(APPEND headers ${BELVORA_PCH_TESTS})
    endif()

    target_precompile_headers(${target} PRIVATE ${headers})
    set_property(GLOBAL PROPERTY belvora_pch_donor_${group} ${target})
endfunction()
