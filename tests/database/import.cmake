# Tests of the import, the sample classifier and the model's row release.
set(VELMORA_SOCRBASE_DBF "${PROJECT_SOURCE_DIR}/tools/data/SOCRBASE.DBF")

add_qt_test(tst_threaddatabasecreate SOURCES tst_threaddatabasecreate.cpp importfixture.h LIBS database qdbf)
target_compile_definitions(tst_threaddatabasecreate PRIVATE VELMORA_SOCRBASE_DBF="${VELMORA_SOCRBASE_DBF}")

add_qt_test(tst_qdbfreleaserows SOURCES tst_qdbfreleaserows.cpp LIBS database qdbf)
add_qt_test(tst_kladrsample SOURCES tst_kladrsample.cpp LIBS database qdbf)
add_qt_test(tst_sqliteinsert SOURCES tst_sqliteinsert.cpp LIBS database)
