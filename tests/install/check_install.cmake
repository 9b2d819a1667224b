cmake_minimum_required(VERSION 3.25)
# Installs BUILD_DIR into PREFIX (emptied first) and checks that the programs,
# the catalogue, the desktop entry and the icons land where a desktop and the
# program itself look for them.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed (${result}):\n${output}")
endif()
foreach(path bin/morvane-control bin/morvane-mount-sim share/morvane-control/star.dat
        share/applications/morvane-control.desktop
        share/icons/hicolor/48x48/apps/morvane-control.png
        share/icons/hicolor/64x64/apps/morvane-control.png
        share/icons/hicolor/scalable/apps/morvane-control.svg)
    if(NOT EXISTS "${PREFIX}/${path}" OR IS_DIRECTORY "${PREFIX}/${path}")
        message(FATAL_ERROR "missing from ${PREFIX}: ${path}")
    endif()
endforeach()
# The program finds its catalogue at <bindir>/../share/morvane-control.
file(SHA256 "${CATALOGUE}" shipped)
file(SHA256 "${PREFIX}/share/morvane-control/star.dat" installed)
if(NOT shipped STREQUAL installed)
    message(FATAL_ERROR "the installed star.dat differs from data/star.dat")
endif()
# The desktop entry starts the installed program by name, with its icon, and
# passes the validator where it is installed.
file(STRINGS "${PREFIX}/share/applications/morvane-control.desktop" entry)
foreach(line "Exec=morvane-control" "Icon=morvane-control" "Name=Morvane Control"
        "Actions=planetarium-servers;" "Exec=morvane-control --alpaca --stellarium")
    if(NOT line IN_LIST entry)
        message(FATAL_ERROR "the desktop entry lacks \"${line}\"")
    endif()
endforeach()
find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
if(DESKTOP_FILE_VALIDATE)
    execute_process(COMMAND "${DESKTOP_FILE_VALIDATE}"
                            "${PREFIX}/share/applications/morvane-control.desktop"
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "the desktop entry does not validate:\n${output}")
    endif()
endif()
