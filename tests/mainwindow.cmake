# The main window of real Quorel.exe copies, driven from outside.
quorel_add_test(mainwindow_test SOURCES mainwindow/MainWindowTest.cpp mainwindow/RunningCopy.cpp
    LABELS mainwindow TIMEOUT 180)

# The main window run inside a test program, with the product's own resources.
quorel_add_test(mainwindow_inprocess_test
    SOURCES mainwindow/InProcessTest.cpp mainwindow/InProcessApp.cpp mainwindow/RunningCopy.cpp
            ${PROJECT_SOURCE_DIR}/res/Quorel.rc
    LINK quorel_test_globals
    LABELS mainwindow TIMEOUT 180)
target_include_directories(mainwindow_inprocess_test PRIVATE
    ${CMAKE_BINARY_DIR}/generated/quorel_v3200 ${PROJECT_SOURCE_DIR}/res ${CMAKE_BINARY_DIR}/generated)
add_dependencies(mainwindow_inprocess_test quorel_icon quorel_v3200)
