# SPDX-License-Identifier: GPL-3.0-or-later
# The window's event loop during an import (bench/import); built on demand only.
add_executable(velmora-importstall EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/importstall.cpp)
target_link_libraries(velmora-importstall PRIVATE velmora_app)
