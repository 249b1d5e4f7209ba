# SPDX-License-Identifier: GPL-3.0-or-later
# The test format_check fails when a C++ file of the repository differs from what clang-format
# makes of it with the repository's .clang-format; scripts/format fixes them.
find_program(VELMORA_CLANG_FORMAT NAMES clang-format)
if(VELMORA_CLANG_FORMAT)
    add_test(NAME format_check
        COMMAND ${CMAKE_COMMAND} -E env CLANG_FORMAT=${VELMORA_CLANG_FORMAT}
                ${PROJECT_SOURCE_DIR}/scripts/format --check)
else()
    message(STATUS "clang-format not found: the format check is not run")
endif()
