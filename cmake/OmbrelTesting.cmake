# Tests of the 64-bit tree: GoogleTest programs per area, helper libraries and
# programs, end-to-end applications. Every Windows program runs under Wine on
# the harness display (cmake/harness.sh), which the fixture "wine" starts
# before the first such test and stops after the last.

set(OMBREL_GOOGLETEST_DIR /usr/src/googletest CACHE PATH "GoogleTest sources (Debian package googletest)")
set(OMBREL_HARNESS ${PROJECT_SOURCE_DIR}/cmake/harness.sh)
set(OMBREL_SUPPORT_OUTPUT_DIR ${CMAKE_BINARY_DIR}/tests/support)
option(OMBREL_SERIAL_WINE_TESTS
    "Run the Wine tests one at a time: they share one desktop, keyboard focus, hot keys and tray" ON)

function(ombrel_add_googletest)
    if(NOT EXISTS ${OMBREL_GOOGLETEST_DIR}/CMakeLists.txt)
        message(FATAL_ERROR "GoogleTest sources not found in ${OMBREL_GOOGLETEST_DIR}: run scripts/setup.sh")
    endif()
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(${OMBREL_GOOGLETEST_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    # Unoptimised: compiles in half the time, and tests do not need speed.
    foreach(target gtest gtest_main gmock gmock_main)
        target_compile_options(${target} PRIVATE -O0)
    endforeach()
endfunction()

# Unix path -> the path Windows programs under Wine see (drive Z: is "/").
function(ombrel_windows_path out path)
    string(REPLACE "/" "\\" path "${path}")
    set(${out} "Z:${path}" PARENT_SCOPE)
endfunction()

function(ombrel_add_harness_fixture)
    add_test(NAME harness_start COMMAND bash ${OMBREL_HARNESS} --build ${CMAKE_BINARY_DIR} start)
    add_test(NAME harness_stop COMMAND bash ${OMBREL_HARNESS} --build ${CMAKE_BINARY_DIR} stop)
    # A fresh Wine prefix takes 15-60 s to create.
    set_tests_properties(harness_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
    set_tests_properties(harness_stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)
endfunction()

# Properties of every test that runs a Windows program: the harness, and the
# folders it may need, as Windows paths in the environment:
#   OMBREL_SOURCE_DIR   the source tree (test data)
#   OMBREL_BUILD_DIR    this build tree (Ombrel.exe, plugins\Vellum.dll)
#   OMBREL_SUPPORT_DIR  the built helper libraries and programs
function(ombrel_wine_test_properties test timeout)
    ombrel_windows_path(source ${PROJECT_SOURCE_DIR})
    ombrel_windows_path(build ${CMAKE_BINARY_DIR})
    ombrel_windows_path(support ${OMBREL_SUPPORT_OUTPUT_DIR})
    set_tests_properties(${test} PROPERTIES
        FIXTURES_REQUIRED wine
        TIMEOUT ${timeout}
        ENVIRONMENT "OMBREL_SOURCE_DIR=${source};OMBREL_BUILD_DIR=${build};OMBREL_SUPPORT_DIR=${support}")
    if(OMBREL_SERIAL_WINE_TESTS)
        set_tests_properties(${test} PROPERTIES RESOURCE_LOCK wine_desktop)
    endif()
endfunction()

# tests/support/<name>/*.cpp -> <build>/tests/support/<name>.dll, a plug-in
# style library (no "lib" prefix, undecorated exports, the sdk sources).
function(ombrel_support_library name)
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/support/${name}/*.cpp)
    if(NOT sources)
        message(WARNING "tests/support/${name} has no .cpp files - not built")
        return()
    endif()
    ombrel_plugin_library(support_${name} ${sources})
    set_target_properties(support_${name} PROPERTIES
        OUTPUT_NAME ${name}
        RUNTIME_OUTPUT_DIRECTORY ${OMBREL_SUPPORT_OUTPUT_DIR})
endfunction()

# tests/support/<name>/*.cpp -> <build>/tests/support/<name>.exe, a console
# program with the host's objects (so it can host windows and plug-ins).
function(ombrel_support_program name)
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/support/${name}/*.cpp)
    if(NOT sources)
        message(WARNING "tests/support/${name} has no .cpp files - not built")
        return()
    endif()
    add_executable(support_${name} ${sources})
    target_link_libraries(support_${name} PRIVATE ombrel_objs ombrel_sdk ombrel_common ombrel_system_libs)
    set_target_properties(support_${name} PROPERTIES
        OUTPUT_NAME ${name}
        RUNTIME_OUTPUT_DIRECTORY ${OMBREL_SUPPORT_OUTPUT_DIR})
endfunction()

# tests/unit/<area>/**.cpp -> unit_<area>.exe with the host's objects and
# GoogleTest (test code unoptimised, to build quickly), run as ONE test (one Wine process for all its cases) in a
# scratch folder that is emptied before every run. Sets
# OMBREL_UNIT_TEST_TARGETS to the programs made.
function(ombrel_add_unit_tests)
    set(targets)
    ombrel_subfolders(areas ${PROJECT_SOURCE_DIR}/tests/unit)
    foreach(dir IN LISTS areas)
        get_filename_component(area ${dir} NAME)
        file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${dir}/*.cpp)
        if(NOT sources)
            continue()
        endif()
        set(name unit_${area})
        add_executable(${name} ${sources})
        target_link_libraries(${name} PRIVATE
            ombrel_objs ombrel_sdk ombrel_common ombrel_system_libs gmock gtest_main gtest)
        target_compile_options(${name} PRIVATE -O0)
        set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/unit)

        set(work ${CMAKE_BINARY_DIR}/tests/work/${name})
        file(MAKE_DIRECTORY ${work})
        add_test(NAME ${name} COMMAND ${OMBREL_WINE_RUN} --scratch ${work} $<TARGET_FILE:${name}>)
        set_tests_properties(${name} PROPERTIES WORKING_DIRECTORY ${work})
        ombrel_wine_test_properties(${name} 120)
        list(APPEND targets ${name})
    endforeach()
    set(OMBREL_UNIT_TEST_TARGETS ${targets} PARENT_SCOPE)
endfunction()

# Every end-to-end application and the host's unit tests run on two stand-ins
# for the platform's browser control: the script-only page engine (the
# product's own, OMBREL_ENGINE=script) and the strict contract double of the
# platform control (tests/support/browserdouble, OMBREL_ENGINE=double), which
# behaves as the real control is documented to where the engine is lenient.

# tests/apps/<name>/ with resource/index.html -> tests app_<name> (page
# engine) and app_<name>_double: the application is copied into the build
# tree and run as "<host>.exe d=<copy>"; it passes when the host exits with 0
# within 60 s (see cmake/run-app.sh).
function(ombrel_add_app_tests)
    ombrel_add_double_unit_run(host)
    file(GLOB pages CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/apps/*/resource/index.html)
    if(NOT pages)
        return()
    endif()
    if(NOT OMBREL_HOST_TARGET)
        message(STATUS "Ombrel: end-to-end applications are not run: the host is not built")
        return()
    endif()
    foreach(page IN LISTS pages)
        get_filename_component(dir ${page} DIRECTORY)
        get_filename_component(dir ${dir} DIRECTORY)
        get_filename_component(name ${dir} NAME)
        foreach(engine script double)
            set(test app_${name})
            if(engine STREQUAL double)
                set(test app_${name}_double)
            endif()
            add_test(NAME ${test}
                COMMAND bash ${PROJECT_SOURCE_DIR}/cmake/run-app.sh $<TARGET_FILE:${OMBREL_HOST_TARGET}> ${dir})
            ombrel_wine_test_properties(${test} 60)
            set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT
                "OMBREL_WINE_RUN=${OMBREL_WINE_RUN}" "OMBREL_ENGINE=${engine}")
        endforeach()
    endforeach()
endfunction()

# unit_<area> once more as unit_<area>_double, its windows hosting the double.
function(ombrel_add_double_unit_run area)
    if(NOT TEST unit_${area} OR NOT TARGET support_browserdouble)
        return()
    endif()
    set(name unit_${area}_double)
    set(work ${CMAKE_BINARY_DIR}/tests/work/${name})
    file(MAKE_DIRECTORY ${work})
    add_test(NAME ${name} COMMAND ${OMBREL_WINE_RUN} --scratch ${work} $<TARGET_FILE:unit_${area}>)
    set_tests_properties(${name} PROPERTIES WORKING_DIRECTORY ${work})
    ombrel_wine_test_properties(${name} 120)
    ombrel_windows_path(double ${OMBREL_SUPPORT_OUTPUT_DIR}/browserdouble.dll)
    set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT "OMBREL_ENGINE=${double}")
endfunction()
