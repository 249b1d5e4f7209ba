# SPDX-License-Identifier: GPL-3.0-or-later
# End-to-end search tests through the window.
add_qt_test(tst_searchflow SOURCES tst_searchflow.cpp LIBS velmora_app velmora_sample)
target_compile_definitions(tst_searchflow PRIVATE
    VELMORA_SOCRBASE_DBF="${PROJECT_SOURCE_DIR}/tools/data/SOCRBASE.DBF")
