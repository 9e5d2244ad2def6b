# Reads every #include "..." of the add-on's sources and fails on one that names a header of
# another folder in the same or a higher layer, or a header that only the host application may
# include (those in the folders of KORDELA_HOST_ONLY_DIRS).
# Run: cmake -DKORDELA_SOURCE_DIR=Src "-DKORDELA_HOST_ONLY_DIRS=dir;dir" -P CheckLayers.cmake
include(${CMAKE_CURRENT_LIST_DIR}/Layers.cmake)
if(NOT KORDELA_SOURCE_DIR)
    set(KORDELA_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})
endif()
get_filename_component(KORDELA_SOURCE_DIR ${KORDELA_SOURCE_DIR} ABSOLUTE)

set(folders "")
foreach(entry IN LISTS KORDELA_LAYERS)
    string(REPLACE "=" ";" pair "${entry}")
    list(GET pair 0 folder)
    list(GET pair 1 layer)
    set(layer_${folder} ${layer})
    list(APPEND folders ${folder})
endforeach()

# Which folder holds each header; a header name must be unique across the add-on.
set(problems "")
foreach(folder IN LISTS folders)
    file(GLOB headers RELATIVE ${KORDELA_SOURCE_DIR}/${folder} ${KORDELA_SOURCE_DIR}/${folder}/*.hpp)
    foreach(header IN LISTS headers)
        if(DEFINED home_${header})
            list(APPEND problems "${header} is in both ${home_${header}} and ${folder}")
        endif()
        set(home_${header} ${folder})
    endforeach()
endforeach()

# The platform's headers for the host application alone.
foreach(dir IN LISTS KORDELA_HOST_ONLY_DIRS)
    file(GLOB headers RELATIVE ${dir} ${dir}/*.hpp)
    foreach(header IN LISTS headers)
        set(host_only_${header} ${dir})
    endforeach()
endforeach()

# Every source of the add-on lies in a folder of the table.
file(GLOB_RECURSE sources RELATIVE ${KORDELA_SOURCE_DIR} ${KORDELA_SOURCE_DIR}/*.cpp ${KORDELA_SOURCE_DIR}/*.hpp)
set(checked 0)
foreach(source IN LISTS sources)
    get_filename_component(folder ${source} DIRECTORY)
    if(NOT DEFINED layer_${folder})
        list(APPEND problems "${source} lies in no layer")
        continue()
    endif()
    file(STRINGS ${KORDELA_SOURCE_DIR}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS includes)
        string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" header "${line}")
        get_filename_component(name ${header} NAME)
        if(DEFINED host_only_${name})
            list(APPEND problems "${source} (${folder}) includes ${header}, which only the host may include")
            continue()
        endif()
        # Headers of the platform stand-in and of other libraries are below every layer.
        if(NOT DEFINED home_${name})
            continue()
        endif()
        set(target ${home_${name}})
        math(EXPR checked "${checked} + 1")
        if(NOT target STREQUAL folder AND NOT layer_${target} LESS layer_${folder})
            list(APPEND problems
                 "${source} (layer ${layer_${folder}}, ${folder}) includes ${header} of ${target} (layer ${layer_${target}})")
        endif()
    endforeach()
endforeach()

if(problems)
    list(JOIN problems "\n  " text)
    message(FATAL_ERROR "Includes against the layers:\n  ${text}")
endif()
message(STATUS "Layers kept: ${checked} includes between the add-on's folders checked")
