# Build helpers shared by every folder.

# Tests run wherever the build can execute what it makes: natively on the host, under Wine for
# the Windows builds (their toolchain files set the emulator).
if(NOT CMAKE_CROSSCOMPILING OR CMAKE_CROSSCOMPILING_EMULATOR)
    set(CORVALE_CAN_RUN_TESTS ON)
else()
    set(CORVALE_CAN_RUN_TESTS OFF)
endif()

# Embedded tree with nlohmann/json only (Debian installs it into /usr/include, which a
# cross build must not see as a whole).
set(CORVALE_THIRD_PARTY_INCLUDE ${CMAKE_BINARY_DIR}/third_party/include)
if(NOT EXISTS ${CORVALE_THIRD_PARTY_INCLUDE}/nlohmann/json.hpp AND EXISTS /usr/include/nlohmann/json.hpp)
    file(COPY /usr/include/nlohmann DESTINATION ${CORVALE_THIRD_PARTY_INCLUDE})
endif()
add_library(corvale_json INTERFACE)
target_include_directories(corvale_json SYSTEM INTERFACE ${CORVALE_THIRD_PARTY_INCLUDE})

include(GoogleTest)

# corvale_version_defines(TARGET)
# The project version (the one place it is written: project() in the top CMakeLists) as
# CORVALE_VERSION_MAJOR/MINOR/PATCH and CORVALE_VERSION_TEXT ("1.2.3") for the target's sources
# and resource scripts.
function(corvale_version_defines target)
    target_compile_definitions(${target} PRIVATE
        CORVALE_VERSION_MAJOR=${PROJECT_VERSION_MAJOR} CORVALE_VERSION_MINOR=${PROJECT_VERSION_MINOR}
        CORVALE_VERSION_PATCH=${PROJECT_VERSION_PATCH})
endfunction()

# corvale_windowed_program(NAME LIBRARY lib RESOURCES objects RC script MANIFEST file.in
#                          [RC_DEPENDS file...])
# A Windows program from the folder's main.cpp over `lib`. Its resource script is compiled as the
# object library `objects` (window tests link it too, so they run with the same controls), with
# the manifest made from `file.in` (the project version filled in) and the version record; the
# program starts at wWinMain and finds zlib1.dll beside itself.
function(corvale_windowed_program name)
    cmake_parse_arguments(P "" "LIBRARY;RESOURCES;RC;MANIFEST" "RC_DEPENDS" ${ARGN})
    get_filename_component(manifest ${P_MANIFEST} NAME_WLE)
    set(dir ${CMAKE_CURRENT_BINARY_DIR}/manifest)
    configure_file(${P_MANIFEST} ${dir}/${manifest} @ONLY)
    add_library(${P_RESOURCES} OBJECT ${P_RC})
    set_source_files_properties(${P_RC} PROPERTIES
        OBJECT_DEPENDS "${dir}/${manifest};${P_RC_DEPENDS}")
    target_include_directories(${P_RESOURCES} PRIVATE ${dir})
    corvale_version_defines(${P_RESOURCES})
    add_executable(${name} WIN32 main.cpp $<TARGET_OBJECTS:${P_RESOURCES}>)
    target_link_libraries(${name} PRIVATE ${P_LIBRARY})
    target_link_options(${name} PRIVATE -municode)
    corvale_copy_zlib_dll(${name})
endfunction()

# corvale_layer_includes(TARGET folder...)
# The target's include path reaches only the named top-level folders of the source tree: a
# folder of links under the build tree stands in for the source root. A library given only
# itself and the layers below it cannot compile an include of a header from a layer above.
function(corvale_layer_includes target)
    set(dir ${CMAKE_BINARY_DIR}/layers/${target})
    file(MAKE_DIRECTORY ${dir})
    foreach(folder ${ARGN})
        if(NOT EXISTS ${dir}/${folder})
            file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${dir}/${folder} SYMBOLIC)
        endif()
    endforeach()
    target_include_directories(${target} PUBLIC ${dir})
endfunction()

# corvale_add_test(NAME SOURCES src... LIBS lib... [WIN_ONLY] [LAYERS folder...])
# One executable per test group. LAYERS limits its include path to those top-level folders
# (corvale_layer_includes); otherwise it sees the whole source tree. Natively each test case is its own ctest entry; under Wine the
# executable is one entry (starting Wine once per case would cost more than the tests).
function(corvale_add_test name)
    cmake_parse_arguments(T "WIN_ONLY" "" "SOURCES;LIBS;LAYERS" ${ARGN})
    if(T_WIN_ONLY AND NOT WIN32)
        return()
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
    if(T_LAYERS)
        corvale_layer_includes(${name} ${T_LAYERS})
    else()
        target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    endif()
    # zlib1.dll beside every Windows test, as beside the program: it is loaded from there only.
    if(WIN32 AND COMMAND corvale_copy_zlib_dll)
        corvale_copy_zlib_dll(${name})
    endif()
    target_compile_definitions(${name} PRIVATE
        CORVALE_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
        CORVALE_TESTDATA_DIR="${PROJECT_SOURCE_DIR}/tests/data"
        CORVALE_PNGSUITE_DIR="${PROJECT_SOURCE_DIR}/tests/data/pngsuite")
    if(NOT CORVALE_CAN_RUN_TESTS)
        return()
    endif()
    if(CMAKE_CROSSCOMPILING)
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES TIMEOUT 900)
    else()
        gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60)
    endif()
endfunction()

# corvale_embed(TARGET NAME FILES f... BASE dir)
# Compiles the given files into the target as the table corvale::embedded::NAME of
# (path relative to BASE, bytes); platform/embedded.h declares the types and Find().
function(corvale_embed target)
    cmake_parse_arguments(E "" "NAME;BASE" "FILES" ${ARGN})
    set(out ${CMAKE_CURRENT_BINARY_DIR}/${E_NAME}_embedded.cpp)
    add_custom_command(OUTPUT ${out}
        COMMAND ${CMAKE_COMMAND} -DOUT=${out} -DNAME=${E_NAME} -DBASE=${E_BASE} "-DFILES=${E_FILES}"
                -P ${PROJECT_SOURCE_DIR}/cmake/embed.cmake
        DEPENDS ${E_FILES} ${PROJECT_SOURCE_DIR}/cmake/embed.cmake
        COMMENT "Embedding ${E_NAME}" VERBATIM)
    target_sources(${target} PRIVATE ${out})
endfunction()

# corvale_check_layers()
# Called once every library is defined: fails the configuration when the project's libraries
# (targets named corvale_*) link each other in a circle, directly or through others.
function(corvale_check_layers)
    set(libs "")
    set(dirs ${PROJECT_SOURCE_DIR})
    while(dirs)
        list(POP_FRONT dirs dir)
        get_property(sub DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
        list(APPEND dirs ${sub})
        get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
        foreach(t ${targets})
            get_target_property(type ${t} TYPE)
            if(t MATCHES "^corvale_" AND type MATCHES "LIBRARY$")
                list(APPEND libs ${t})
            endif()
        endforeach()
    endwhile()
    foreach(start ${libs})
        # Everything reachable from start through link dependencies on project libraries.
        set(seen "")
        set(todo ${start})
        while(todo)
            list(POP_FRONT todo t)
            get_target_property(deps ${t} LINK_LIBRARIES)
            get_target_property(ideps ${t} INTERFACE_LINK_LIBRARIES)
            foreach(d ${deps} ${ideps})
                if(NOT d IN_LIST libs)
                    continue()
                endif()
                if(d STREQUAL start)
                    message(FATAL_ERROR "Library ${start} reaches itself through ${t}: the layers have a circle.")
                endif()
                if(NOT d IN_LIST seen)
                    list(APPEND seen ${d})
                    list(APPEND todo ${d})
                endif()
            endforeach()
        endwhile()
    endforeach()
endfunction()
