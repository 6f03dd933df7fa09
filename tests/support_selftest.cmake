quorel_add_test(support_selftest
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/support_test/SupportTest.cpp
    LABELS support
    TIMEOUT 120)
