# The application framework on its own: maps, the modal loop, strings and the hosting of the real
# WebBrowser control through the shell's wrapper. Test dialogs come from the test's own resources.
quorel_add_test(framework_test LINK quorel_core LABELS framework
    SOURCES framework/MessageMapTest.cpp framework/DialogTest.cpp framework/StringTest.cpp framework/FrameworkTest.rc)
target_include_directories(framework_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/framework)
# The built executable read back, byte for byte, by an independent reader on the host.
add_test(NAME pe_structure COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/check_pe.py
    $<TARGET_FILE:Quorel> ${CMAKE_SYSTEM_PROCESSOR} ${QUOREL_VERSION} ${QUOREL_VENDOR_HOST})
set_tests_properties(pe_structure PROPERTIES LABELS "resources")
