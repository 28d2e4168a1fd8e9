# SPDX-License-Identifier: GPL-3.0-or-later
# What programs built with MinGW for Windows need around them: the compiler's runtime DLLs,
# which the Windows package ships beside the programs, and, when building on another system,
# Wine to run the tests (tests/wine/wine-run, each run in a Wine prefix of its own).

# CODETARVO_MINGW_RUNTIME: the runtime DLLs, as the compiler finds them.
set(CODETARVO_MINGW_RUNTIME)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
        OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
        message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${dll} is")
    endif()
    file(REAL_PATH "${path}" path)
    list(APPEND CODETARVO_MINGW_RUNTIME ${path})
endforeach()

if(CMAKE_CROSSCOMPILING)
    # Each test program runs under Wine and finds its DLLs in the compiler's and Qt's folders.
    set(dll_dirs)
    foreach(dll IN LISTS CODETARVO_MINGW_RUNTIME)
        get_filename_component(dir ${dll} DIRECTORY)
        list(APPEND dll_dirs ${dir})
    endforeach()
    if(CODETARVO_WINDOWS_QT)
        list(APPEND dll_dirs ${CODETARVO_WINDOWS_QT}/bin)
    endif()
    list(REMOVE_DUPLICATES dll_dirs)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/tests/wine/wine-run
        --template ${PROJECT_BINARY_DIR}/wine-prefix)
    foreach(dir IN LISTS dll_dirs)
        list(APPEND CMAKE_CROSSCOMPILING_EMULATOR --dll-dir ${dir})
    endforeach()
    list(APPEND CMAKE_CROSSCOMPILING_EMULATOR --)
endif()
