# The update agent, the update procedure and the update timer.

# The agent's own operations, run inside the test binary: versions, and transfers against the loopback server.
quorel_add_test(update_agent_test
    SOURCES update/VersionsTest.cpp update/TransfersTest.cpp update/BoundedTransfersTest.cpp
    LINK quorel_test_globals
    LABELS update)

# The procedure moves the running executable, so it runs in throwaway copies of a small host program,
# stamped with the shell's version 3.2.0.0 by the version fixtures' resource script, or left without one.
function(quorel_add_update_host target with_version)
    add_executable(${target} update/UpdateHost.cpp fixtures/Stub.rc)
    target_compile_definitions(${target} PRIVATE STUB_WITH_VERSION=${with_version} STUB_VERSION=3,2,0,0
        QUOREL_TEST_LIMIT_DIVISOR=${QUOREL_TEST_LIMIT_DIVISOR})
    target_link_libraries(${target} PRIVATE quorel_core)
    target_link_options(${target} PRIVATE -s)
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/update-hosts)
endfunction()
quorel_add_update_host(update_host 1)
quorel_add_update_host(update_host_noversion 0)

quorel_add_test(update_procedure_test
    SOURCES update/UpdateProcedureTest.cpp update/SwapPermissionsTest.cpp
    LABELS update
    TIMEOUT 240)
add_dependencies(update_procedure_test update_host update_host_noversion)
target_compile_definitions(update_procedure_test PRIVATE
    UPDATE_HOST_EXE="$<TARGET_FILE:update_host>"
    UPDATE_HOST_NOVERSION_EXE="$<TARGET_FILE:update_host_noversion>")

# The timer and the restart in real copies of the shell, which all talk to the one test host port.
quorel_add_test(update_timer_test
    SOURCES update/UpdateTimerTest.cpp
    LABELS update
    TIMEOUT 240)

# Silent, trickling and short-changing servers against real copies of the shell.
quorel_add_test(update_stalled_server_test
    SOURCES update/StalledServerTest.cpp
    LABELS update
    TIMEOUT 300)
