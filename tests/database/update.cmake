# SPDX-License-Identifier: GPL-3.0-or-later
# Tests of the start-up check and update.
# QuaZip is linked for writing the test archives.
add_qt_test(tst_databaseupdate SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_databaseupdate.cpp LIBS database QuaZip::QuaZip velmora_testsupport)

# velmora-tool publish and update, end to end.
add_test(NAME velmora-tool-update
    COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:velmora-tool> -DWORK=${CMAKE_CURRENT_BINARY_DIR}/velmora-tool-update
            -P ${CMAKE_CURRENT_LIST_DIR}/velmoratoolupdate.cmake)
set_tests_properties(velmora-tool-update PROPERTIES ENVIRONMENT "LC_ALL=C.UTF-8" TIMEOUT 300)

add_qt_test(tst_updatepublisher SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_updatepublisher.cpp LIBS database QuaZip::QuaZip velmora_testsupport)
add_qt_test(tst_databaselock SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_databaselock.cpp LIBS database velmora_testsupport)

# Out of process: an install attempted while velmora-tool import is stopped mid-table.
add_qt_test(tst_importlock SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_importlock.cpp LIBS database velmora_sample velmora_testsupport)
target_compile_definitions(tst_importlock PRIVATE VELMORA_SOCRBASE_DBF="${PROJECT_SOURCE_DIR}/tools/data/SOCRBASE.DBF"
    VELMORA_TOOL="$<TARGET_FILE:velmora-tool>")
add_dependencies(tst_importlock velmora-tool)
