# The unit-test cases of tests/unit/net that need the local network servers
# (tests/support/netserve/netserve.py) run once more inside them, as the test
# unit_net_servers; in the plain unit_net run they are skipped.
if(TARGET unit_net)
    set(work ${CMAKE_BINARY_DIR}/tests/work/unit_net_servers)
    file(MAKE_DIRECTORY ${work})
    add_test(NAME unit_net_servers
        COMMAND ${OMBREL_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/netserve/netserve.py --
                ${OMBREL_WINE_RUN} --scratch ${work} $<TARGET_FILE:unit_net>
                --gtest_filter=*Server*)
    set_tests_properties(unit_net_servers PROPERTIES WORKING_DIRECTORY ${work})
    ombrel_wine_test_properties(unit_net_servers 120)
endif()
