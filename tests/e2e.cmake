# The whole program as a user meets it: copies of Quorel.exe, started as a user starts them, against the
# loopback server on the test host's port, with the prefix's install folder and shortcuts reset per case.
quorel_add_test(e2e_test
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/e2e/Story.cpp
            ${CMAKE_CURRENT_SOURCE_DIR}/e2e/InstallStoryTest.cpp
            ${CMAKE_CURRENT_SOURCE_DIR}/e2e/UpdateStoryTest.cpp
            ${CMAKE_CURRENT_SOURCE_DIR}/e2e/HostileServerTest.cpp
            ${CMAKE_CURRENT_SOURCE_DIR}/e2e/TwoInstancesTest.cpp
    LABELS e2e
    TIMEOUT 300)
