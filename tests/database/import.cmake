# SPDX-License-Identifier: GPL-3.0-or-later
# Tests of the import and of its inserts.
set(VELMORA_SOCRBASE_DBF "${PROJECT_SOURCE_DIR}/tools/data/SOCRBASE.DBF")

add_qt_test(tst_threaddatabasecreate SOURCES tst_threaddatabasecreate.cpp importfixture.h LIBS database velmora_sample velmora_testsupport)
target_compile_definitions(tst_threaddatabasecreate PRIVATE VELMORA_SOCRBASE_DBF="${VELMORA_SOCRBASE_DBF}")

add_qt_test(tst_importpipeline SOURCES tst_importpipeline.cpp importfixture.h LIBS database qdbf velmora_sample velmora_testsupport)
target_compile_definitions(tst_importpipeline PRIVATE VELMORA_SOCRBASE_DBF="${VELMORA_SOCRBASE_DBF}")

# The insert test calls the linked SQLite library on the handles it recognises.
find_package(SQLite3 REQUIRED)
add_qt_test(tst_sqliteinsert SOURCES tst_sqliteinsert.cpp LIBS database SQLite::SQLite3)

add_test(NAME velmora-tool-import
    COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:velmora-tool> -DWORK=${CMAKE_CURRENT_BINARY_DIR}/velmora-tool-import
            -P ${CMAKE_CURRENT_LIST_DIR}/velmoratoolimport.cmake)
set_tests_properties(velmora-tool-import PROPERTIES ENVIRONMENT "LC_ALL=C.UTF-8" TIMEOUT 300)

# Out of process: velmora-tool import killed mid-table, then run again.
add_qt_test(tst_importkill SOURCES tst_importkill.cpp importfixture.h LIBS database velmora_sample velmora_testsupport)
target_compile_definitions(tst_importkill PRIVATE VELMORA_SOCRBASE_DBF="${VELMORA_SOCRBASE_DBF}"
    VELMORA_TOOL="$<TARGET_FILE:velmora-tool>")
add_dependencies(tst_importkill velmora-tool)

# The import from an archive or a directory; the archives are made with 7zz.
add_qt_test(tst_archiveimport SOURCES tst_archiveimport.cpp importfixture.h LIBS database velmora_sample velmora_testsupport)
target_compile_definitions(tst_archiveimport PRIVATE VELMORA_SOCRBASE_DBF="${VELMORA_SOCRBASE_DBF}")
# The post's reference of post offices (PIndx<N>.dbf) loaded beside the classifier.
add_qt_test(tst_postofficeimport SOURCES tst_postofficeimport.cpp importfixture.h LIBS database velmora_sample velmora_testsupport)
target_compile_definitions(tst_postofficeimport PRIVATE VELMORA_SOCRBASE_DBF="${VELMORA_SOCRBASE_DBF}")
