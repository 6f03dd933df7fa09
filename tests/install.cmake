# Self-installation, shortcut placement and shell links.
quorel_add_test(install_links_test
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/install/LinkWritersTest.cpp
            ${CMAKE_CURRENT_SOURCE_DIR}/install/PathTextTest.cpp
    LINK quorel_test_globals
    LABELS install
    TIMEOUT 120)

# Throwaway copies of Quorel.exe against the prefix's install location: one case at a time.
quorel_add_test(install_process_test
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/install/InstallProcessTest.cpp
            ${CMAKE_CURRENT_SOURCE_DIR}/install/InstallFailureTest.cpp
    LABELS install
    TIMEOUT 300)
