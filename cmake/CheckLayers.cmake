# Fails when a folder includes a header of a folder above it. Run with
#   cmake -DPM_SOURCE_DIR=<source tree> [-DPM_STAMP=<file>] -P CheckLayers.cmake
#
# Folders from the bottom up; a folder may include headers of its own and of lower ranks.
# The three editor folders share one rank and never include each other.
set(PM_LAYERS
    services 0
    workbook 1
    database 2
    gui 3
    matching 4
    rules 4
    salestatus 4
    app 5)

if(NOT PM_SOURCE_DIR)
    message(FATAL_ERROR "PM_SOURCE_DIR is not set")
endif()

set(folders "")
list(LENGTH PM_LAYERS count)
math(EXPR last "${count} - 1")
foreach(i RANGE 0 ${last} 2)
    math(EXPR j "${i} + 1")
    list(GET PM_LAYERS ${i} folder)
    list(GET PM_LAYERS ${j} rank)
    set(rank_${folder} ${rank})
    list(APPEND folders ${folder})
endforeach()

# Which folder each header lives in.
foreach(folder ${folders})
    file(GLOB headers RELATIVE ${PM_SOURCE_DIR}/${folder} ${PM_SOURCE_DIR}/${folder}/*.h)
    foreach(header ${headers})
        set(home_${header} ${folder})
    endforeach()
endforeach()

set(violations "")
foreach(folder ${folders})
    file(GLOB sources ${PM_SOURCE_DIR}/${folder}/*.h ${PM_SOURCE_DIR}/${folder}/*.cpp)
    foreach(source ${sources})
        file(STRINGS ${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
        foreach(line ${lines})
            string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" included "${line}")
            get_filename_component(name ${included} NAME)
            if(NOT DEFINED home_${name})
                continue() # generated forms, moc output, headers outside the layered folders
            endif()
            set(target ${home_${name}})
            if(target STREQUAL folder)
                continue()
            endif()
            if(NOT rank_${target} LESS rank_${folder})
                file(RELATIVE_PATH shown ${PM_SOURCE_DIR} ${source})
                list(APPEND violations "${shown} includes ${target}/${name}")
            endif()
        endforeach()
    endforeach()
endforeach()

if(violations)
    list(JOIN violations "\n  " text)
    message(FATAL_ERROR "Includes must point down the layers "
        "(app > matching, rules, salestatus > gui > database > workbook > services):\n  ${text}")
endif()
if(PM_STAMP)
    file(TOUCH ${PM_STAMP})
endif()
