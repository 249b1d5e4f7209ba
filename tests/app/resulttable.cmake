# SPDX-License-Identifier: GPL-3.0-or-later
add_qt_test(tst_columnfit SOURCES tst_columnfit.cpp LIBS velmora_app)
add_qt_test(tst_resulttable SOURCES tst_resulttable.cpp LIBS velmora_app velmora_sample)
target_compile_definitions(tst_resulttable PRIVATE
    VELMORA_SOCRBASE_DBF="${PROJECT_SOURCE_DIR}/tools/data/SOCRBASE.DBF")
