# Fails when a source file includes a header of a layer above its own. The layers,
# bottom to top: util, core, input and convert (side by side, neither sees the
# other), convert/office, app; the batch command above them, the service above it,
# main.cpp on top.
#   cmake -DSOURCE_DIR=<repository> -P CheckLayers.cmake
cmake_minimum_required(VERSION 3.25)

set(allowed_util "util")
set(allowed_core "util;core")
set(allowed_input "util;core;input")
set(allowed_convert "util;core;convert")
set(allowed_office "util;core;convert;convert/office")
set(allowed_app "util;core;input;convert;app")
set(allowed_batch "util;core;input;convert;convert/office;batch")
set(allowed_serve "util;core;input;convert;convert/office;batch;serve")

set(violations "")
foreach(layer util core input convert office app batch serve)
    if(layer STREQUAL "office")
        set(folder "convert/office")
    else()
        set(folder "${layer}")
    endif()
    file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
    foreach(source IN LISTS sources)
        if(layer STREQUAL "convert" AND source MATCHES "^convert/office/")
            continue()
        endif()
        file(STRINGS "${SOURCE_DIR}/${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"[^\"]+/")
        foreach(line IN LISTS includes)
            string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]+\"([^\"]+)/[^/\"]+\".*" "\\1" included "${line}")
            if(NOT included IN_LIST allowed_${layer})
                string(APPEND violations "  ${source}: ${line}\n")
            endif()
        endforeach()
    endforeach()
endforeach()

if(violations)
    message(FATAL_ERROR "Includes that point up a layer:\n${violations}")
endif()
message(STATUS "Every include points down a layer.")
