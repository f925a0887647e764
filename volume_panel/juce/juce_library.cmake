# JUCE's modules from Debian's juce-modules-source, compiled into one static library for
# the target. Debian strips JUCE's bundled zlib, libpng and libjpeg: zlib comes from
# libz-mingw-w64-dev, libpng and libjpeg from third_party/build-image-libraries.
set(JUCE_SYSTEM_MODULES_DIR /usr/share/juce/modules)
if(NOT EXISTS ${JUCE_SYSTEM_MODULES_DIR}/juce_core/juce_core.h)
    message(FATAL_ERROR "JUCE modules not found in ${JUCE_SYSTEM_MODULES_DIR} (tools/install-deps installs them)")
endif()
find_program(PATCH_PROGRAM patch REQUIRED)
set(VOLUME_PANEL_JUCE_MODULES juce_core juce_events juce_data_structures juce_graphics juce_gui_basics juce_gui_extra)

# The modules are copied into the build tree and patched there (juce/patches), so that the
# program loads and runs on Windows XP:
#   repaint-without-dxgi.patch       loads dxgi.dll by name where it exists, and repaints
#                                    from a timer where no vertical blank comes
#   vista-functions-looked-up.patch  looks up by name the functions of later systems
# The copy is made again when a patch or the installed JUCE changes.
set(JUCE_MODULES_DIR ${CMAKE_CURRENT_BINARY_DIR}/juce-modules)
file(GLOB JUCE_PATCHES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/patches/*.patch)
list(SORT JUCE_PATCHES)
set(JUCE_PACKAGE_FILES /var/lib/dpkg/info/juce-modules-source.md5sums)
set(juce_copy_identity "")
foreach(input ${JUCE_PATCHES} ${JUCE_PACKAGE_FILES})
    if(EXISTS ${input})
        file(SHA256 ${input} input_hash)
        string(APPEND juce_copy_identity "${input_hash} ${input}\n")
    endif()
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${JUCE_PATCHES})
set(juce_copy_stamp ${JUCE_MODULES_DIR}/.patched)
set(juce_copy_current FALSE)
if(EXISTS ${juce_copy_stamp})
    file(READ ${juce_copy_stamp} juce_copy_stamped)
    if(juce_copy_stamped STREQUAL juce_copy_identity)
        set(juce_copy_current TRUE)
    endif()
endif()
if(NOT juce_copy_current)
    file(REMOVE_RECURSE ${JUCE_MODULES_DIR})
    foreach(module ${VOLUME_PANEL_JUCE_MODULES})
        file(COPY ${JUCE_SYSTEM_MODULES_DIR}/${module} DESTINATION ${JUCE_MODULES_DIR})
    endforeach()
    foreach(patch ${JUCE_PATCHES})
        execute_process(COMMAND ${PATCH_PROGRAM} -p1 --batch --forward --silent -i ${patch}
                        WORKING_DIRECTORY ${JUCE_MODULES_DIR} RESULT_VARIABLE patch_result)
        if(NOT patch_result EQUAL 0)
            file(REMOVE_RECURSE ${JUCE_MODULES_DIR})
            message(FATAL_ERROR "${patch} does not apply to the JUCE modules in ${JUCE_SYSTEM_MODULES_DIR}")
        endif()
    endforeach()
    file(WRITE ${juce_copy_stamp} "${juce_copy_identity}")
endif()

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
    uuid wsock32 wininet version ole32 ws2_32 oleaut32 imm32 comdlg32 shlwapi rpcrt4 winmm)
