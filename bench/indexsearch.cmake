# SPDX-License-Identifier: GPL-3.0-or-later
# Searches by postal index as the window runs them (bench/index-search); built on demand only.
add_executable(velmora-indexsearch EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/indexsearch.cpp)
target_link_libraries(velmora-indexsearch PRIVATE search)
