# SPDX-License-Identifier: GPL-3.0-or-later
# Tests of the start-up check and update.
# QuaZip is linked for writing the test archives.
add_qt_test(tst_databaseupdate SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_databaseupdate.cpp LIBS database QuaZip::QuaZip velmora_testsupport)
