# SPDX-License-Identifier: GPL-3.0-or-later
# The start-up check and update on its worker, through the window.
add_qt_test(tst_windowupdate SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_windowupdate.cpp LIBS velmora_app)
