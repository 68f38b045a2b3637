# Warnings for our own targets.
function(qln_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

# What every test runs in: no display, no session bus (a test that needs one starts its own, so
# nothing reaches the host's desktop), UTF-8, and in a sanitizer build the sanitizers' settings.
set(QLN_TEST_ENVIRONMENT
    "QT_QPA_PLATFORM=offscreen;LANG=C.UTF-8;LC_ALL=C.UTF-8;DBUS_SESSION_BUS_ADDRESS=unix:path=/dev/null/no-session-bus")
if(QLN_SANITIZE)
    # A finding fails the test: ASan and UBSan stop at the first report, LeakSanitizer turns leaks
    # found at exit into a non-zero exit code. Leaks inside Qt's own libraries are suppressed by
    # tests/sanitizer/lsan.supp, which names Qt functions: allocation stacks are unwound the slow
    # way, through Qt's frames (no frame pointers there). Programs the tests start (fakes, the
    # program itself) inherit this.
    set(QLN_LSAN_SUPPRESSIONS ${PROJECT_SOURCE_DIR}/tests/sanitizer/lsan.supp)
    list(APPEND QLN_TEST_ENVIRONMENT
        "ASAN_OPTIONS=halt_on_error=1:abort_on_error=0:exitcode=86:detect_leaks=1:strict_string_checks=1:check_initialization_order=1:fast_unwind_on_malloc=0"
        "UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:exitcode=87"
        "LSAN_OPTIONS=exitcode=88:suppressions=${QLN_LSAN_SUPPRESSIONS}:print_suppressions=0:fast_unwind_on_malloc=0")
    # Every test whose command is one of our programs starts through the harness, which sends the
    # reports of the test and of everything it starts to the test's report folder and fails the
    # test on any of them (an expected failure of a child would hide the child's exit code).
    set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/tests/sanitizer/sanitized-test)
endif()

# qln_test_environment(<test>): gives a test added with add_test the environment above, its own
# runtime folder, and in a sanitizer build its report folder.
function(qln_test_environment name)
    set(environment ${QLN_TEST_ENVIRONMENT})
    # A runtime folder of its own, where device claims live: tests that run at once never meet
    # each other's claims, nor an operator's.
    set(runtime ${CMAKE_BINARY_DIR}/test-runtime/${name})
    file(MAKE_DIRECTORY ${runtime})
    file(CHMOD ${runtime} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    list(APPEND environment "XDG_RUNTIME_DIR=${runtime}")
    if(QLN_SANITIZE)
        list(APPEND environment "QLN_SANITIZER_REPORTS=${CMAKE_BINARY_DIR}/sanitizer-reports/${name}")
    endif()
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${environment}")
endfunction()

# qln_add_test(<name> <libraries...>): one Qt Test executable built from <name>.cpp,
# registered with CTest, run without a display and in UTF-8.
function(qln_add_test name)
    add_executable(${name} ${name}.cpp)
    target_link_libraries(${name} PRIVATE ${ARGN} Qt5::Test)
    qln_warnings(${name})
    add_test(NAME ${name} COMMAND ${name})
    qln_test_environment(${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endfunction()

# qln_add_library(<name> <STATIC|SHARED|OBJECT> [sources...]): one of our libraries; its includes
# name the folder from the project root ("core/FMConst.h").
function(qln_add_library name kind)
    add_library(${name} ${kind} ${ARGN})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    qln_warnings(${name})
endfunction()
