# The strict contract double of the platform's browser control, a COM
# library (browserdouble.dll) that the host loads through OMBREL_ENGINE like
# the platform's control library. It is made of its own sources and the
# script-only page engine's, whose pages it shows.
file(GLOB _double_sources CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/browserdouble/*.cpp
    ${PROJECT_SOURCE_DIR}/app/engine/*.cpp)
add_library(support_browserdouble SHARED ${_double_sources}
    ${CMAKE_CURRENT_SOURCE_DIR}/browserdouble/browserdouble.def)
target_link_libraries(support_browserdouble PRIVATE ombrel_sdk ombrel_common ombrel_system_libs)
set_target_properties(support_browserdouble PROPERTIES
    PREFIX ""
    OUTPUT_NAME browserdouble
    RUNTIME_OUTPUT_DIRECTORY ${OMBREL_SUPPORT_OUTPUT_DIR}
    ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
# The host's unit tests run once more on the double (see OmbrelTesting.cmake).
if(TARGET unit_host)
    add_dependencies(unit_host support_browserdouble)
endif()
