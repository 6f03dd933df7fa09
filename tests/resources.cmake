# The built executable read back: by an independent PE reader on the host, and through the platform under Wine.
add_test(NAME pe_structure
    COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/check_pe.py $<TARGET_FILE:Quorel> ${CMAKE_SYSTEM_PROCESSOR})
set_tests_properties(pe_structure PROPERTIES LABELS "resources")

quorel_add_test(resources_test SOURCES resources/ResourceTest.cpp LABELS resources)
