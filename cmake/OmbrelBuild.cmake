# Compiler settings, source discovery and target helpers shared by the host,
# the plug-in libraries and the tests.

# The MinGW-w64 target folder (/usr/<triplet>), set by the toolchain file.
list(GET CMAKE_FIND_ROOT_PATH 0 OMBREL_MINGW_SYSROOT)

# Sorted recursive glob, relative to the source root, re-checked at every
# build so that added or removed files re-run the configuration.
function(ombrel_glob out)
    set(patterns)
    foreach(pattern IN LISTS ARGN)
        list(APPEND patterns ${PROJECT_SOURCE_DIR}/${pattern})
    endforeach()
    file(GLOB_RECURSE files CONFIGURE_DEPENDS ${patterns})
    list(SORT files)
    set(${out} ${files} PARENT_SCOPE)
endfunction()

# Immediate sub-folders of a folder, re-checked at every build.
function(ombrel_subfolders out dir)
    file(GLOB entries CONFIGURE_DEPENDS LIST_DIRECTORIES true ${dir}/*)
    set(folders)
    foreach(entry IN LISTS entries)
        if(IS_DIRECTORY ${entry})
            list(APPEND folders ${entry})
        endif()
    endforeach()
    list(SORT folders)
    set(${out} ${folders} PARENT_SCOPE)
endfunction()

function(ombrel_define_common_targets)
    # Settings every target of ours gets: the source root as include folder,
    # Unicode, Windows 7 as the oldest platform, warnings, a static runtime.
    add_library(ombrel_common INTERFACE)
    target_include_directories(ombrel_common INTERFACE ${PROJECT_SOURCE_DIR})
    # The resource compiler gets none of the C++ definitions (windres passes
    # quoted values on badly); it tells the products apart by OMBREL_TESSALY.
    set(defines UNICODE _UNICODE _WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX
                "OMBREL_PRODUCT_NAME=L\"${OMBREL_PRODUCT}\"")
    target_compile_definitions(ombrel_common INTERFACE "$<$<COMPILE_LANGUAGE:C,CXX>:${defines}>")
    if(OMBREL_WIDTH EQUAL 32)
        target_compile_definitions(ombrel_common INTERFACE "$<$<COMPILE_LANGUAGE:RC>:OMBREL_TESSALY>")
    endif()
    target_compile_options(ombrel_common INTERFACE "$<$<COMPILE_LANGUAGE:C,CXX>:-Wall;-Wextra>")
    target_link_options(ombrel_common INTERFACE -static -static-libgcc -static-libstdc++)

    # zlib is linked from its static archive by full path: naming it "z"
    # would pick the import library of zlib1.dll.
    set(zlib ${OMBREL_MINGW_SYSROOT}/lib/libz.a)
    if(NOT EXISTS ${zlib})
        message(FATAL_ERROR "${zlib} is missing: run scripts/setup.sh (package libz-mingw-w64-dev)")
    endif()
    add_library(ombrel_zlib STATIC IMPORTED)
    set_target_properties(ombrel_zlib PROPERTIES IMPORTED_LOCATION ${zlib})

    add_library(ombrel_system_libs INTERFACE)
    target_link_libraries(ombrel_system_libs INTERFACE
        ombrel_zlib
        ole32 oleaut32 uuid shlwapi shell32 user32 gdi32 comctl32 comdlg32 advapi32
        imagehlp version wininet winhttp crypt32 urlmon dwmapi uxtheme ws2_32 powrprof)
endfunction()

# An object library from the given sources, or from a stand-in when the
# folder is still empty.
function(ombrel_object_library name)
    set(sources ${ARGN})
    if(NOT sources)
        set(sources ${PROJECT_SOURCE_DIR}/cmake/empty.cpp)
    endif()
    add_library(${name} OBJECT ${sources})
    target_link_libraries(${name} PUBLIC ombrel_common)
endfunction()

# A plug-in library: NAME.dll (no "lib" prefix) with the sdk sources. On
# 32-bit x86 the stdcall decoration ("@8") is cut from the exported names, so
# the host finds "CreateInterface" by its plain name in both widths.
function(ombrel_plugin_library name)
    add_library(${name} SHARED ${ARGN})
    target_link_libraries(${name} PRIVATE ombrel_sdk ombrel_common ombrel_system_libs)
    if(OMBREL_WIDTH EQUAL 32)
        target_link_options(${name} PRIVATE -Wl,--kill-at)
    endif()
    set_target_properties(${name} PROPERTIES
        PREFIX ""
        ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
endfunction()

# --- static checks of the outputs ---------------------------------------------

# The system's interpreter first: it starts faster than version-manager shims.
find_program(OMBREL_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
find_program(OMBREL_PYTHON NAMES python3 REQUIRED)
set(OMBREL_CHECK_PE ${PROJECT_SOURCE_DIR}/cmake/check_pe.py)

# Checks TARGET's file: machine type of this width, imports only from DLLs
# that Windows ships, GUI subsystem (GUI), the named exports (EXPORTS), and
# no import of the DLLs it loads on first use (LOADED_ON_USE).
# The check is a test of this tree and a line of the manifest that the 64-bit
# tree reads to check the 32-bit tree's outputs too.
function(ombrel_add_pe_check target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "GUI" "" "EXPORTS;LOADED_ON_USE")
    set(args --machine ${OMBREL_PE_MACHINE})
    if(arg_GUI)
        list(APPEND args --subsystem gui)
    endif()
    foreach(export IN LISTS arg_EXPORTS)
        list(APPEND args --export ${export})
    endforeach()
    foreach(dll IN LISTS arg_LOADED_ON_USE)
        list(APPEND args --not-imported ${dll})
    endforeach()
    add_test(NAME pe${OMBREL_WIDTH}_${target}
        COMMAND ${OMBREL_PYTHON} ${OMBREL_CHECK_PE} ${args} $<TARGET_FILE:${target}>)
    set_tests_properties(pe${OMBREL_WIDTH}_${target} PROPERTIES TIMEOUT 60)
    list(JOIN args "|" joined)
    set_property(GLOBAL APPEND PROPERTY OMBREL_PE_MANIFEST
        "pe${OMBREL_WIDTH}_${target}|${joined}|$<TARGET_FILE:${target}>")
endfunction()

function(ombrel_write_pe_manifest)
    get_property(lines GLOBAL PROPERTY OMBREL_PE_MANIFEST)
    list(JOIN lines "\n" content)
    file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/pe-checks.txt CONTENT "${content}\n")
endfunction()

# Adds the checks listed in another build tree's manifest (the 32-bit tree's,
# seen from the 64-bit tree). The manifest is watched, so building the other
# tree first and then this one brings its checks in.
function(ombrel_add_peer_pe_checks peer)
    file(GLOB manifest CONFIGURE_DEPENDS ${peer}/pe-checks.txt)
    if(NOT manifest)
        message(STATUS "Ombrel: no ${peer}/pe-checks.txt - configure and build the win32 preset "
                       "first to check its outputs from here")
        return()
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${manifest})
    file(STRINGS ${manifest} lines)
    foreach(line IN LISTS lines)
        string(REPLACE "|" ";" fields "${line}")
        list(POP_FRONT fields name)
        if(NOT TEST ${name})
            add_test(NAME ${name} COMMAND ${OMBREL_PYTHON} ${OMBREL_CHECK_PE} ${fields})
            set_tests_properties(${name} PROPERTIES TIMEOUT 60)
        endif()
    endforeach()
endfunction()
