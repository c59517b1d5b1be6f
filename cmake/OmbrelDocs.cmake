# Checks that keep the script typings (types/), the reference (docs/) and the
# samples' scripts in step with the sources. They need no Wine.
#
#   api_names           every plug-in member in the name tables is in the
#                       typings and the reference, and nothing else is
#   api_names_selftest  the check above fails on each kind of difference
#   typescript_check    tsc --noEmit over the samples' "// @ts-check" scripts
#                       (the pinned compiler that scripts/setup.sh installs)
#   example_filetool    the filetool sample run under Wine without a person:
#                       lists and zips a folder given on its command line

set(OMBREL_TYPESCRIPT_DIR ${PROJECT_SOURCE_DIR}/build/node CACHE PATH
    "Folder whose node_modules holds the TypeScript compiler (scripts/setup.sh installs it)")

function(ombrel_add_api_checks)
    set(cmake_dir ${PROJECT_SOURCE_DIR}/cmake)
    add_test(NAME api_names
        COMMAND ${OMBREL_PYTHON} ${cmake_dir}/check_api_names.py --root ${PROJECT_SOURCE_DIR})
    add_test(NAME api_names_selftest
        COMMAND ${OMBREL_PYTHON} ${cmake_dir}/check_api_names_test.py --root ${PROJECT_SOURCE_DIR})
    add_test(NAME typescript_check
        COMMAND ${OMBREL_PYTHON} ${cmake_dir}/check_scripts.py --root ${PROJECT_SOURCE_DIR}
                --tsc ${OMBREL_TYPESCRIPT_DIR}/node_modules/typescript/bin/tsc
                --work ${CMAKE_BINARY_DIR}/typescript)
    set_tests_properties(api_names api_names_selftest typescript_check PROPERTIES TIMEOUT 120)
    if(OMBREL_HOST_TARGET)
        add_test(NAME example_filetool
            COMMAND bash ${cmake_dir}/run-example-test.sh $<TARGET_FILE:${OMBREL_HOST_TARGET}>
                    ${PROJECT_SOURCE_DIR}/examples/filetool)
        ombrel_wine_test_properties(example_filetool 60)
        set_property(TEST example_filetool APPEND PROPERTY ENVIRONMENT "OMBREL_WINE_RUN=${OMBREL_WINE_RUN}")
    endif()
endfunction()
