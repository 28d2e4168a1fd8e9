# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-builds for 64-bit Windows with Debian's MinGW-w64 (the POSIX thread model, which Qt's
# threads and C++ <thread> need). Libraries, headers and packages come from the MinGW sysroot and
# from the Windows Qt that dev/windows-qt builds (CODETARVO_WINDOWS_QT, by default
# ~/.cache/codetarvo/qt-6.4.2-mingw64); programs run at build time come from the host.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_triple}-windres)

if(NOT CODETARVO_WINDOWS_QT)
    if(DEFINED ENV{CODETARVO_WINDOWS_QT})
        set(CODETARVO_WINDOWS_QT $ENV{CODETARVO_WINDOWS_QT})
    else()
        set(CODETARVO_WINDOWS_QT $ENV{HOME}/.cache/codetarvo/qt-6.4.2-mingw64)
    endif()
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES CODETARVO_WINDOWS_QT)

set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triple} ${CODETARVO_WINDOWS_QT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
