# JUCE's module targets are INTERFACE libraries that carry the module sources.
# Compile them once into one static library and hand its configuration on to
# every consumer, so all of our code sees the same JUCE_* settings.
add_library(belvora_juce STATIC)

target_link_libraries(belvora_juce
    PRIVATE
        juce::juce_core
        juce::juce_events
        juce::juce_data_structures
        juce::juce_cryptography
        juce::juce_audio_basics
        juce::juce_audio_devices
        juce::juce_graphics
        juce::juce_gui_basics
        juce::juce_gui_extra
    PUBLIC
        juce::pkgconfig_JUCE_IMG_LINUX_DEPS
        juce::pkgconfig_JUCE_CURL_LINUX_DEPS)

target_compile_definitions(belvora_juce
    PUBLIC
        JUCE_WEB_BROWSER=0
        JUCE_USE_CURL=1
        JUCE_MODAL_LOOPS_PERMITTED=1
        JUCE_DISPLAY_SPLASH_SCREEN=0
        JUCE_REPORT_APP_USAGE=0
        JUCE_STANDALONE_APPLICATION=1
        JUCE_USE_XRANDR=1
        JUCE_SILENCE_XCODE_15_LINKER_WARNING=1
        JUCE_APPLICATION_NAME_STRING="Belvora 2"
        JUCE_APPLICATION_VERSION_STRING="1.1.0")

# Re-export what the module targets gave us privately: include directories
# (as system headers, so our warnings stay ours) and compile definitions.
foreach(module IN ITEMS juce_core juce_events juce_data_structures juce_cryptography
                        juce_audio_basics juce_audio_devices juce_graphics
                        juce_gui_basics juce_gui_extra)
    target_include_directories(belvora_juce SYSTEM PUBLIC
        $<TARGET_PROPERTY:juce::${module},INTERFACE_INCLUDE_DIRECTORIES>)
    target_compile_definitions(belvora_juce PUBLIC
        $<TARGET_PROPERTY:juce::${module},INTERFACE_COMPILE_DEFINITIONS>)
endforeach()

set_target_properties(belvora_juce PROPERTIES POSITION_INDEPENDENT_CODE ON)
target_compile_options(belvora_juce PRIVATE -w)

# Hostile documents and scripts reach JUCE's number readers, whose exponent and
# digit counters can overflow: harmless there, but not ours to mend. Our own
# code stays fully checked.
if(BELVORA_SANITIZE MATCHES "undefined")
    target_compile_options(belvora_juce PRIVATE -fno-sanitize=signed-integer-overflow)
endif()
