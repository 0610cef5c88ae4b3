# JUCE's module targets are INTERFACE libraries that carry the module sources.
# We compile them into two static libraries: the modules the core needs, and
# the user-interface modules on top. The core links only the first, so it
# builds and tests without any window code. Both libraries and all of our code
# see one and the same JUCE_* configuration.
set(BELVORA_JUCE_CORE_MODULES juce_core juce_events juce_data_structures juce_cryptography
                              juce_audio_basics juce_audio_devices juce_graphics)
set(BELVORA_JUCE_GUI_MODULES juce_gui_basics juce_gui_extra)

add_library(belvora_juce_config INTERFACE)
target_compile_definitions(belvora_juce_config
    INTERFACE
        JUCE_WEB_BROWSER=0
        JUCE_USE_CURL=1
        # JUCE's own streams find libcurl when first used; our requests link it
        # themselves. A program that makes none (the scripts' host) then loads
        # no curl, nor the libraries behind it, at every start.
        JUCE_LOAD_CURL_SYMBOLS_LAZILY=1
        JUCE_MODAL_LOOPS_PERMITTED=1
        JUCE_DISPLAY_SPLASH_SCREEN=0
        JUCE_REPORT_APP_USAGE=0
        JUCE_STANDALONE_APPLICATION=1
        JUCE_USE_XRANDR=1
        JUCE_SILENCE_XCODE_15_LINKER_WARNING=1
        JUCE_GLOBAL_MODULE_SETTINGS_INCLUDED=1
        JUCE_APPLICATION_NAME_STRING="Belvora 2"
        JUCE_APPLICATION_VERSION_STRING="1.1.0")

# A module with a patch in cmake/juce-patches/<module>.patch compiles its unity source
# from a copy in the build folder, beside patched copies of the files the patch names;
# every other file it includes still comes from the module's own folder. The patch
# must apply to the installed JUCE whole and exactly (no fuzz), or the configuration
# fails. The copies are patched aside and replace the ones compiled only when their
# content changed, so a configuration with nothing new rebuilds nothing.
function(belvora_juce_version modules_dir out)
    file(STRINGS ${modules_dir}/juce_core/system/juce_StandardHeader.h lines
         REGEX "^#define JUCE_(MAJOR_VERSION|MINOR_VERSION|BUILDNUMBER) ")
    set(version "")
    foreach(line IN LISTS lines)
        string(REGEX REPLACE "^#define JUCE_[A-Z_]+ +([0-9]+).*$" "\\1" number "${line}")
        list(APPEND version ${number})
    endforeach()
    list(JOIN version "." version)
    if(version STREQUAL "")
        set(version "of unknown version")
    endif()
    set(${out} ${version} PARENT_SCOPE)
endfunction()

function(belvora_patched_module_sources module sources out)
    set(patch ${PROJECT_SOURCE_DIR}/cmake/juce-patches/${module}.patch)

    if(NOT EXISTS ${patch})
        set(${out} ${sources} PARENT_SCOPE)
        return()
    endif()

    set(copy ${CMAKE_BINARY_DIR}/juce-patched/${module})
    set(staging ${CMAKE_BINARY_DIR}/juce-patched/staging/${module})
    file(REMOVE_RECURSE ${staging})
    set(result "")
    set(copied "")

    foreach(source IN LISTS sources)
        get_filename_component(module_dir ${source} DIRECTORY)
        get_filename_component(unity ${source} NAME)
        configure_file(${source} ${staging}/${unity} COPYONLY)
        set_source_files_properties(${copy}/${unity} PROPERTIES INCLUDE_DIRECTORIES ${module_dir})
        list(APPEND result ${copy}/${unity})
        list(APPEND copied ${unity})
    endforeach()

    file(STRINGS ${patch} patched_files REGEX "^\\+\\+\\+ ")
    foreach(line IN LISTS patched_files)
        string(REGEX REPLACE "^\\+\\+\\+ b/([^\t\r ]+).*$" "\\1" file "${line}")
        configure_file(${module_dir}/${file} ${staging}/${file} COPYONLY)
        list(APPEND copied ${file})
    endforeach()

    execute_process(COMMAND patch -p1 --quiet --forward --fuzz=0 --no-backup-if-mismatch -d ${staging} -i ${patch}
                    RESULT_VARIABLE failed OUTPUT_VARIABLE said ERROR_VARIABLE said)
    if(failed)
        get_filename_component(modules_dir ${module_dir} DIRECTORY)
        belvora_juce_version(${modules_dir} version)
        message(FATAL_ERROR "${patch} does not apply to JUCE ${version} in ${module_dir} "
                            "(it was made for JUCE 7.0.5): ${said}")
    endif()

    # A newly patched file hides the module's own from the compiler's recorded dependencies:
    # the unity sources name the patched files, so a change of that list recompiles them.
    list(JOIN copied " " names)
    foreach(source IN LISTS sources)
        get_filename_component(unity ${source} NAME)
        file(APPEND ${staging}/${unity} "\n// Patched beside this file: ${names}\n")
    endforeach()

    foreach(file IN LISTS copied)
        get_filename_component(folder ${copy}/${file} DIRECTORY)
        file(MAKE_DIRECTORY ${folder})
        file(COPY_FILE ${staging}/${file} ${copy}/${file} ONLY_IF_DIFFERENT)
    endforeach()

    # A file the patch no longer names would still be included from beside the unity source.
    file(GLOB_RECURSE present RELATIVE ${copy} ${copy}/*)
    foreach(file IN LISTS present)
        if(NOT file IN_LIST copied)
            file(REMOVE ${copy}/${file})
        endif()
    endforeach()

    file(REMOVE_RECURSE ${staging})
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${patch})
    set(${out} ${result} PARENT_SCOPE)
endfunction()

# Module sources, include folders, definitions and system libraries, taken
# from each module target itself (not transitively, so no module is compiled twice).
function(belvora_juce_library name)
    add_library(${name} STATIC)
    target_link_libraries(${name} PUBLIC belvora_juce_config)

    foreach(module IN LISTS ARGN)
        get_target_property(sources juce::${module} INTERFACE_SOURCES)
        get_target_property(includes juce::${module} INTERFACE_INCLUDE_DIRECTORIES)
        get_target_property(definitions juce::${module} INTERFACE_COMPILE_DEFINITIONS)
        get_target_property(links juce::${module} INTERFACE_LINK_LIBRARIES)

        belvora_patched_module_sources(${module} "${sources}" sources)
        target_sources(${name} PRIVATE ${sources})
        target_include_directories(${name} SYSTEM PUBLIC ${includes})

        # Every module's "available" flag goes to everyone, whichever library compiles it.
        target_compile_definitions(belvora_juce_config INTERFACE ${definitions})

        # System libraries (z, dl, pkg-config targets, ...), but not the other modules.
        foreach(link IN LISTS links)
            if(NOT link MATCHES "^juce_[a-z_]+$")
                target_link_libraries(${name} PUBLIC ${link})
            endif()
        endforeach()
    endforeach()

    set_target_properties(${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
    target_compile_options(${name} PRIVATE -w)

    # Hostile documents and scripts reach JUCE's number readers, whose exponent and
    # digit counters can overflow, and the script engine, which casts any number
    # (infinity too) to an int for an array index: harmless there, as any int is
    # an index a script could write, but not ours to mend. Our own code stays
    # fully checked.
    if(BELVORA_SANITIZE MATCHES "undefined")
        target_compile_options(${name} PRIVATE -fno-sanitize=signed-integer-overflow,float-cast-overflow)
    endif()
endfunction()

belvora_juce_library(belvora_juce_core ${BELVORA_JUCE_CORE_MODULES})
target_link_libraries(belvora_juce_core PUBLIC
    juce::pkgconfig_JUCE_IMG_LINUX_DEPS     # Debian strips JUCE's bundled png and jpeg
    juce::pkgconfig_JUCE_CURL_LINUX_DEPS)

belvora_juce_library(belvora_juce_gui ${BELVORA_JUCE_GUI_MODULES})
target_link_libraries(belvora_juce_gui PUBLIC belvora_juce_core)

# Fails the configuration when a library reaches one of the forbidden targets
# through its link interface: the layers below the user interface stay free of it.
function(belvora_forbid_links target)
    set(seen "")
    set(queue ${target})

    while(queue)
        list(POP_FRONT queue current)

        if(current IN_LIST seen OR NOT TARGET ${current})
            continue()
        endif()

        list(APPEND seen ${current})

        foreach(forbidden IN LISTS ARGN)
            if(current STREQUAL forbidden)
                message(FATAL_ERROR "${target} must not link ${forbidden}")
            endif()
        endforeach()

        foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
            get_target_property(links ${current} ${property})

            if(links)
                list(APPEND queue ${links})
            endif()
        endforeach()
    endwhile()
endfunction()
