# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(database PRIVATE
    threaddatabasecreate.cpp threaddatabasecreate.h
    sqliteinsert.cpp sqliteinsert.h
)
# The import inserts through the handle of Qt's SQLite driver, which uses the system library.
find_package(SQLite3 REQUIRED)
target_link_libraries(database PRIVATE SQLite::SQLite3)
