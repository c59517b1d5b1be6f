# Resource-editor tests beyond the unit program's own run (see
# tests/support/vellum/):
#   vellum_readback  runs the unit program's ReadBack cases and reads the
#                    executables they wrote with a Python PE reader;
#   packager         packages the sample application with tools/packager,
#                    runs the result and reads its resources back.
# The unit program also compiles the version-block parser and the overlay
# keeper, which its tests use directly.
if(TARGET unit_vellum)
    target_sources(unit_vellum PRIVATE ${PROJECT_SOURCE_DIR}/vellum/version_block.cpp
                                       ${PROJECT_SOURCE_DIR}/vellum/pe_overlay.cpp)
    add_dependencies(unit_vellum Vellum)

    set(work ${CMAKE_BINARY_DIR}/tests/work/vellum_readback)
    add_test(NAME vellum_readback
        COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/vellum/readback.sh ${OMBREL_WINE_RUN} $<TARGET_FILE:unit_vellum> ${work})
    ombrel_wine_test_properties(vellum_readback 120)
endif()

# The packager reads its arguments through the "system" plug-in: until that
# plug-in is part of the host the test is listed but not run.
if(TARGET unit_vellum AND OMBREL_HOST_TARGET)
    add_test(NAME packager
        COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/vellum/packager_test.sh ${OMBREL_WINE_RUN}
                $<TARGET_FILE:${OMBREL_HOST_TARGET}> $<TARGET_FILE:support_vellumprobe>
                ${CMAKE_BINARY_DIR}/tests/work/packager)
    ombrel_wine_test_properties(packager 180)
    if(NOT EXISTS ${PROJECT_SOURCE_DIR}/app/plugins/system)
        set_tests_properties(packager PROPERTIES DISABLED TRUE)
    endif()
endif()
