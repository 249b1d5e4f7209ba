# SPDX-License-Identifier: GPL-3.0-or-later
# The window's index row.
add_qt_test(tst_indexsearchwindow SOURCES tst_indexsearch.cpp LIBS velmora_app velmora_sample)
target_compile_definitions(tst_indexsearchwindow PRIVATE
    VELMORA_SOCRBASE_DBF="${PROJECT_SOURCE_DIR}/tools/data/SOCRBASE.DBF")
