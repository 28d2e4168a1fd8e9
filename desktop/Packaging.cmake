# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package: `cpack -G DEB` in a build folder makes codetarvo_<version>_<arch>.deb from
# what `cmake --install` puts under /usr. Built for Windows, `cpack` makes a zip of the
# installed folder and an installer (NSIS).

set(CODETARVO_PACKAGE_MAINTAINER "Kor <kor@localhost>" CACHE STRING
    "Maintainer field of the Debian package: name and e-mail address")

set(CPACK_PACKAGE_NAME codetarvo)
set(CPACK_PACKAGE_VENDOR Kor)
set(CPACK_PACKAGE_VERSION ${CODETARVO_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Control-file lines stay under 80 columns; CPack indents each one.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Code Tarvo encodes and decodes short texts with a key you type. Its window\n"
    "has three boxes, the key, the plain text and the code text, which convert\n"
    "live on every keystroke, in both directions; each box shows its length and\n"
    "has a Copy button. Code texts are salted and survive copy and paste between\n"
    "instances exactly.\n"
    "\n"
    "The command-line companion codetarvo-cli encodes and decodes files and pipes\n"
    "in the same format.")
set(CPACK_STRIP_FILES ON)

if(WIN32)
    set(CPACK_GENERATOR ZIP NSIS)
    set(CPACK_PACKAGE_FILE_NAME ${CODETARVO_WINDOWS_PACKAGE})
    set(CPACK_PACKAGE_INSTALL_DIRECTORY "Code Tarvo")
    set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Code Tarvo")
    set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
    # A 64-bit installer for 64-bit programs: it installs into the 64-bit Program Files and
    # registers its uninstaller in the 64-bit registry.
    # The installer keeps no time of its files (SetDateSave off): the staged files carry the
    # build's times, which would make every build's installer different. (The zip takes its
    # times from SOURCE_DATE_EPOCH, as the Debian package does.)
    set(CPACK_NSIS_DEFINES "Target amd64-unicode\nSetDateSave off")
    set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
    set(CPACK_NSIS_PACKAGE_NAME "Code Tarvo")
    set(CPACK_NSIS_DISPLAY_NAME "Code Tarvo")
    # The Start menu entry, in a folder of its own with the uninstaller's entry.
    set(CPACK_PACKAGE_EXECUTABLES codetarvo "Code Tarvo")
    set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
    set(CPACK_NSIS_INSTALLED_ICON_NAME codetarvo.exe)
    if(CODETARVO_WINDOW)
        set(CPACK_NSIS_MUI_ICON ${PROJECT_BINARY_DIR}/tools/icons/codetarvo.ico)
        set(CPACK_NSIS_MUI_UNIICON ${CPACK_NSIS_MUI_ICON})
    endif()
    set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
    set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
    include(CPack)
    return()
endif()

set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CODETARVO_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps fills Depends from the libraries the installed programs link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Without Qt's Wayland platform the window runs through XWayland on a Wayland desktop; without
# Qt's translations the boxes' context menus stay English.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
