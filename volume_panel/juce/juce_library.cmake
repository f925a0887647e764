# JUCE's modules from Debian's juce-modules-source, compiled into one static library for
# the target. Debian strips JUCE's bundled zlib, libpng and libjpeg: zlib comes from
# libz-mingw-w64-dev, libpng and libjpeg from third_party/build-image-libraries.
set(JUCE_MODULES_DIR /usr/share/juce/modules)
if(NOT EXISTS ${JUCE_MODULES_DIR}/juce_core/juce_core.h)
    message(FATAL_ERROR "JUCE modules not found in ${JUCE_MODULES_DIR} (tools/install-deps installs them)")
endif()
set(VOLUME_PANEL_JUCE_MODULES juce_core juce_events juce_data_structures juce_graphics juce_gui_basics juce_gui_extra)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(IMAGE_LIBRARIES_ARCH x86_64)
else()
    set(IMAGE_LIBRARIES_ARCH i686)
endif()
set(IMAGE_LIBRARIES_DIR ${PROJECT_SOURCE_DIR}/build/volume-panel-libs/${IMAGE_LIBRARIES_ARCH})
set(IMAGE_LIBRARIES ${IMAGE_LIBRARIES_DIR}/lib/libpng.a ${IMAGE_LIBRARIES_DIR}/lib/libjpeg.a)
add_custom_command(OUTPUT ${IMAGE_LIBRARIES}
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/../third_party/build-image-libraries ${IMAGE_LIBRARIES_ARCH} ${IMAGE_LIBRARIES_DIR}
    COMMENT "Building libpng and libjpeg for ${IMAGE_LIBRARIES_ARCH} from Debian's sources"
    VERBATIM)
add_custom_target(volume_panel_image_libraries DEPENDS ${IMAGE_LIBRARIES})

set(juce_sources)
foreach(module ${VOLUME_PANEL_JUCE_MODULES})
    list(APPEND juce_sources ${JUCE_MODULES_DIR}/${module}/${module}.cpp)
endforeach()
add_library(volume_panel_juce STATIC ${juce_sources})
add_dependencies(volume_panel_juce volume_panel_image_libraries)
# Third-party code: its warnings are not ours to mend.
target_compile_options(volume_panel_juce PRIVATE -w)
target_compile_options(volume_panel_juce PUBLIC -Wa,-mbig-obj)
target_include_directories(volume_panel_juce SYSTEM BEFORE PUBLIC
    ${CMAKE_CURRENT_LIST_DIR}/include ${JUCE_MODULES_DIR} ${IMAGE_LIBRARIES_DIR}/include)
set(juce_module_flags)
foreach(module ${VOLUME_PANEL_JUCE_MODULES})
    list(APPEND juce_module_flags JUCE_MODULE_AVAILABLE_${module}=1)
endforeach()
target_compile_definitions(volume_panel_juce PUBLIC
    ${juce_module_flags}
    JUCE_GLOBAL_MODULE_SETTINGS_INCLUDED=1
    JUCE_STANDALONE_APPLICATION=1
    JUCE_DISPLAY_SPLASH_SCREEN=0
    JUCE_USE_CURL=0
    JUCE_WEB_BROWSER=0
    JUCE_USE_WIN_WEBVIEW2=0
    JUCE_INCLUDE_ZLIB_CODE=0
    JUCE_INCLUDE_PNGLIB_CODE=0
    JUCE_INCLUDE_JPEGLIB_CODE=0
    JUCE_HANDLE_MULTIPLE_INSTANCES=0
    DONT_SET_USING_JUCE_NAMESPACE=1
    $<IF:$<CONFIG:Debug>,DEBUG=1,NDEBUG=1>)
target_compile_definitions(volume_panel_juce PRIVATE "JUCE_ZLIB_INCLUDE_PATH=<zlib.h>")
if(IMAGE_LIBRARIES_ARCH STREQUAL i686)
    target_compile_options(volume_panel_juce PUBLIC
        -include ${CMAKE_CURRENT_LIST_DIR}/mingw32_target_platform.h)
endif()
target_link_libraries(volume_panel_juce PUBLIC
    ${IMAGE_LIBRARIES} z
    uuid wsock32 wininet version ole32 ws2_32 oleaut32 imm32 comdlg32 shlwapi rpcrt4 winmm dxgi)
