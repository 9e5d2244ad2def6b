# How test programs, benchmarks and fuzz targets are made.
include(GoogleTest)

# Code that runs the add-on in-process links its library and the host glue that the module
# otherwise carries.
function(kordela_link_addon target)
    target_sources(${target} PRIVATE $<TARGET_OBJECTS:kordela_acapi_glue>)
    target_link_libraries(${target} PRIVATE kordela_addon)
endfunction()

# kordela_add_test(<name> LABEL unit|integration|version SOURCES ... [LIBS ...] [TIMEOUT <s>]
#                  [SERVICE])
# One GoogleTest program and its discovered tests, all with one label: "unit" (in-process),
# "integration" (the module in the simulated host, or the local service's process) or
# "version" (what differs between host versions; these run on every host version). A program
# that lists kordela_addon in LIBS gets the host glue with it. SERVICE marks tests of the
# local service alone: they neither need nor wait for the add-on and the simulated host.
# With KORDELA_VERSION_TESTS_ONLY only "version" programs are made.
function(kordela_add_test name)
    cmake_parse_arguments(ARG "SERVICE" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
    if(NOT ARG_LABEL MATCHES "^(unit|integration|version)$")
        message(FATAL_ERROR "kordela_add_test(${name}): LABEL must be unit, integration or version, not '${ARG_LABEL}'")
    endif()
    if(KORDELA_VERSION_TESTS_ONLY AND NOT ARG_LABEL STREQUAL "version")
        return()
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} Kordela::PlatformHost GTest::gtest GTest::gtest_main GTest::gmock)
    if(kordela_addon IN_LIST ARG_LIBS)
        kordela_link_addon(${name})
    endif()
    target_compile_definitions(${name} PRIVATE KORDELA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    if(NOT ARG_SERVICE)
        target_compile_definitions(${name} PRIVATE
            KORDELA_MODULE_PATH="$<TARGET_FILE:Kordela>"
            KORDELA_RESOURCES_DIR="${PROJECT_SOURCE_DIR}/Resources"
            KORDELA_DEVHOST_PATH="$<TARGET_FILE:devhost>")
        add_dependencies(${name} Kordela devhost kordela_resources)
    endif()
    kordela_target_defaults(${name})
    set(properties LABELS ${ARG_LABEL})
    if(ARG_TIMEOUT)
        list(APPEND properties TIMEOUT ${ARG_TIMEOUT})
    endif()
    # Listed when ctest runs, not as a step of the build: on a busy machine a sanitized program
    # can take longer to list its tests than any build step should wait, and a slow listing
    # must not fail the build.
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 300 PROPERTIES ${properties})
endfunction()
