# The main window of real Quorel.exe copies, and the window class in process.
quorel_add_test(mainwindow_test SOURCES mainwindow/MainWindowTest.cpp mainwindow/RunningCopy.cpp
    LABELS mainwindow TIMEOUT 180)
