# SPDX-License-Identifier: GPL-3.0-or-later
# The installed folder on Windows, which the zip and the installer carry: the programs, the
# compiler's runtime DLLs, and for the window program the Qt DLLs and plugins it loads, Qt's
# French translations and a qt.conf that points Qt at them, all found beside the programs.

# The runtime DLLs as Debian ships them carry their debugging symbols (libstdc++ is 23 MB of
# which 2 MB are code): the folder gets stripped copies.
set(runtime_dlls)
foreach(dll IN LISTS CODETARVO_MINGW_RUNTIME)
    get_filename_component(name ${dll} NAME)
    set(copy ${CMAKE_CURRENT_BINARY_DIR}/runtime/${name})
    add_custom_command(OUTPUT ${copy}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/runtime
        COMMAND ${CMAKE_STRIP} --strip-unneeded -o ${copy} ${dll}
        DEPENDS ${dll}
        COMMENT "Stripping ${name}"
        VERBATIM)
    list(APPEND runtime_dlls ${copy})
endforeach()
add_custom_target(runtime-dlls ALL DEPENDS ${runtime_dlls})
install(FILES ${runtime_dlls} DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_BINDIR}
    RENAME LICENSE.txt)

if(NOT CODETARVO_WINDOW)
    return()
endif()

install(FILES $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>
    DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>
    DESTINATION ${CMAKE_INSTALL_BINDIR}/plugins/platforms)
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin>
    DESTINATION ${CMAKE_INSTALL_BINDIR}/plugins/styles)
install(FILES qt.conf DESTINATION ${CMAKE_INSTALL_BINDIR})

# Qt's own French texts (the boxes' context menus, for one), from Debian's
# qt6-translations-l10n: the files are the same on every system. qt_fr.qm loads the others.
set(translations)
foreach(catalogue qt_fr qtbase_fr qtmultimedia_fr)
    find_file(CODETARVO_QT_TRANSLATION_${catalogue} ${catalogue}.qm
        PATHS /usr/share/qt6/translations NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    if(NOT CODETARVO_QT_TRANSLATION_${catalogue})
        message(FATAL_ERROR "${catalogue}.qm not found: install qt6-translations-l10n")
    endif()
    list(APPEND translations ${CODETARVO_QT_TRANSLATION_${catalogue}})
endforeach()
install(FILES ${translations} DESTINATION ${CMAKE_INSTALL_BINDIR}/translations)

# The licences of what the folder bundles: the box font's, and Qt's as Debian gives it.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSES/OFL-1.1.txt DESTINATION ${CMAKE_INSTALL_BINDIR}/licences)
find_file(CODETARVO_QT_COPYRIGHT copyright
    PATHS /usr/share/doc/libqt6core6 NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(CODETARVO_QT_COPYRIGHT)
    install(FILES ${CODETARVO_QT_COPYRIGHT} DESTINATION ${CMAKE_INSTALL_BINDIR}/licences
        RENAME Qt.txt)
endif()
