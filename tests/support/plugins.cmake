# Plug-in libraries for the plug-in loader's tests, built from
# tests/support/testplugin/testplugin.cpp in variants, into
# ${CMAKE_BINARY_DIR}/tests/support/. Include this file from the test tree of
# the 64-bit build, then call
#   ombrel_use_test_plugins(<test target>)
# for the test executable that loads them (it gets the folder as the compile
# definition OMBREL_TEST_SUPPORT_DIR and depends on every library).
#
# One library is built for 32-bit x86 with the i686 compiler called directly
# (this tree has no 32-bit toolchain): the loader must refuse it.

set(OMBREL_TEST_SUPPORT_DIR ${CMAKE_BINARY_DIR}/tests/support)
set(OMBREL_TEST_PLUGIN_SOURCES
    ${CMAKE_SOURCE_DIR}/tests/support/testplugin/testplugin.cpp
    ${CMAKE_SOURCE_DIR}/sdk/trace.cpp)
set(OMBREL_TEST_PLUGIN_TARGETS "")

# ombrel_test_plugin(<target> <file name> [compile definitions...])
function(ombrel_test_plugin target file)
  add_library(${target} SHARED ${OMBREL_TEST_PLUGIN_SOURCES})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_definitions(${target} PRIVATE ${ARGN})
  target_link_libraries(${target} PRIVATE oleaut32 ole32 uuid)
  if(MINGW)
    target_link_options(${target} PRIVATE -static)
  endif()
  get_filename_component(stem ${file} NAME_WLE)
  get_filename_component(suffix ${file} LAST_EXT)
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    OUTPUT_NAME ${stem}
    SUFFIX ${suffix}
    RUNTIME_OUTPUT_DIRECTORY ${OMBREL_TEST_SUPPORT_DIR}
    ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/testplugin-lib)
  set(OMBREL_TEST_PLUGIN_TARGETS ${OMBREL_TEST_PLUGIN_TARGETS} ${target} PARENT_SCOPE)
endfunction()

ombrel_test_plugin(testplug testplug.dll)
ombrel_test_plugin(testplug_fresh testplug_fresh.dll
  TESTPLUGIN_NAME=testplugfresh TESTPLUGIN_FLAGS=1)
ombrel_test_plugin(testplug_major2 testplug_major2.dll
  TESTPLUGIN_NAME=wrongmajor TESTPLUGIN_MAJOR=2)
ombrel_test_plugin(testplug_noexport testplug_noexport.dll TESTPLUGIN_NO_EXPORT)
ombrel_test_plugin(testplug_window testplug_window.dll TESTPLUGIN_NAME=window)
ombrel_test_plugin(testplug_failcreate testplug_failcreate.dll
  TESTPLUGIN_NAME=failcreate TESTPLUGIN_CREATE_FAILS)
ombrel_test_plugin(testplug_scan testplug_scan.dll TESTPLUGIN_NAME=scanplug)
# Upper-case extension: the folder scan must not find it.
ombrel_test_plugin(testplug_upper TESTPLUG_UPPER.DLL TESTPLUGIN_NAME=upperplug)

find_program(OMBREL_I686_CXX i686-w64-mingw32-g++-posix)
if(OMBREL_I686_CXX)
  set(testplug32 ${OMBREL_TEST_SUPPORT_DIR}/testplug32.dll)
  add_custom_command(
    OUTPUT ${testplug32}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${OMBREL_TEST_SUPPORT_DIR}
    COMMAND ${OMBREL_I686_CXX} -std=c++20 -DUNICODE -D_UNICODE -D_WIN32_WINNT=0x0601 -DNOMINMAX
            -DTESTPLUGIN_NAME=testplug32 -I${CMAKE_SOURCE_DIR}
            -shared -static -o ${testplug32} ${OMBREL_TEST_PLUGIN_SOURCES}
            -Wl,--kill-at -loleaut32 -lole32 -luuid
    DEPENDS ${OMBREL_TEST_PLUGIN_SOURCES}
            ${CMAKE_SOURCE_DIR}/sdk/com.h ${CMAKE_SOURCE_DIR}/sdk/dispatch.h
            ${CMAKE_SOURCE_DIR}/sdk/omb.h ${CMAKE_SOURCE_DIR}/sdk/trace.h
    COMMENT "Building 32-bit test plug-in testplug32.dll"
    VERBATIM)
  add_custom_target(testplug32 DEPENDS ${testplug32})
  list(APPEND OMBREL_TEST_PLUGIN_TARGETS testplug32)
else()
  message(WARNING "i686-w64-mingw32-g++-posix not found: the 32-bit refusal test is skipped")
endif()

function(ombrel_use_test_plugins target)
  target_compile_definitions(${target} PRIVATE OMBREL_TEST_SUPPORT_DIR="${OMBREL_TEST_SUPPORT_DIR}")
  add_dependencies(${target} ${OMBREL_TEST_PLUGIN_TARGETS})
endfunction()
