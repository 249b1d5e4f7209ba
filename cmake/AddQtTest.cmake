# SPDX-License-Identifier: GPL-3.0-or-later
# add_qt_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2)
# One QtTest executable per class or behaviour area, linked to just the libraries under test.
function(add_qt_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE Qt5::Test ${ARG_LIBS})
    target_compile_definitions(${name} PRIVATE
        VELMORA_TESTDATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8"
        TIMEOUT 300)
endfunction()
