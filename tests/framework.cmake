# The application framework on its own: strings, maps, dialogs and their modal loop, and the
# hosting of the real WebBrowser control. Test dialogs come from the test's own resources.
quorel_add_test(framework_test
    SOURCES
        framework/FrameworkTestApp.cpp
        framework/StringTest.cpp
        framework/MessageMapTest.cpp
        framework/DialogTest.cpp
        framework/ControlHostTest.cpp
        framework/FrameworkTest.rc
    LINK quorel_framework
    LABELS framework
    TIMEOUT 120)
target_include_directories(framework_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/framework ${CMAKE_BINARY_DIR}/generated)
add_dependencies(framework_test quorel_icon)
set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/framework/FrameworkTest.rc PROPERTIES
    OBJECT_DEPENDS "${CMAKE_BINARY_DIR}/generated/Quorel.ico")
