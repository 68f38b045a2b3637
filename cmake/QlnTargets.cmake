# Warnings for our own targets.
function(qln_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

# qln_add_test(<name> <libraries...>): one Qt Test executable built from <name>.cpp,
# registered with CTest, run without a display and in UTF-8.
function(qln_add_test name)
    add_executable(${name} ${name}.cpp)
    target_link_libraries(${name} PRIVATE ${ARGN} Qt5::Test)
    qln_warnings(${name})
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANG=C.UTF-8;LC_ALL=C.UTF-8"
        TIMEOUT 300)
endfunction()

# qln_add_library(<name> <STATIC|SHARED|OBJECT> [sources...]): one of our libraries; its includes
# name the folder from the project root ("core/FMConst.h").
function(qln_add_library name kind)
    add_library(${name} ${kind} ${ARGN})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    qln_warnings(${name})
endfunction()
